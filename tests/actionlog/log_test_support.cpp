#include "log_test_support.h"

#include "support/strings.h"

#include <cstring>

namespace actionlog_testing {

void PrintTo(const RecordView& record, std::ostream* out)
{
    *out << "{" << ActionKindNumber(record.kind) << ", \"" << kv::to_utf8(record.text) << "\", " << record.done << ", " << record.detail
         << "}";
}

std::vector<RecordView> View(const std::list<ActionRecord>& records)
{
    std::vector<RecordView> view;
    for (const ActionRecord& record : records)
        view.push_back({record.kind, record.text, record.done, record.detail});
    return view;
}

std::vector<std::uint8_t> Utf16File(const std::wstring& text)
{
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::wstring TextOfUtf16File(const std::vector<std::uint8_t>& bytes)
{
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8));
    return text;
}

} // namespace actionlog_testing
