// Helpers of the action log tests: records as comparable values, and log bytes.
#pragma once

#include "actionlog/action_log.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace actionlog_testing {

// What the log file keeps of a record.
struct RecordView {
    ActionKind kind;
    std::wstring text;
    bool done;
    int detail;
    bool operator==(const RecordView&) const = default;
};

void PrintTo(const RecordView& record, std::ostream* out);

std::vector<RecordView> View(const std::list<ActionRecord>& records);

// The bytes of a UTF-16LE file: the byte-order mark, then text.
std::vector<std::uint8_t> Utf16File(const std::wstring& text);
// The text of such a file (without its byte-order mark).
std::wstring TextOfUtf16File(const std::vector<std::uint8_t>& bytes);

} // namespace actionlog_testing
