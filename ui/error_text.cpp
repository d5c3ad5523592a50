#include "ui/error_text.h"

#include "product/texts.h"
#include "support/unique_resource.h"

namespace {

constexpr DWORD kFail = static_cast<DWORD>(E_FAIL);
constexpr DWORD kCustomerBit = 0x20000000;
constexpr DWORD kStringIdentifierBit = 0x08000000;

bool SystemText(DWORD code, DWORD language, std::wstring& text)
{
    kv::unique_local_ptr<wchar_t> message;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        language, reinterpret_cast<LPWSTR>(message.put()), 0, nullptr);
    if (length == 0)
        return false;
    text.assign(message.get(), length);
    return true;
}

} // namespace

std::wstring ErrorText(DWORD code, DWORD language)
{
    language &= 0xFFFF;
    std::wstring text;
    bool found = SystemText(code, language, text);
    if (!found && ::GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
        found = SystemText(code, 0, text);
    if (found) {
        while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
            text.pop_back();
        return text;
    }
    if (code == kFail)
        return L"Error";
    return ErrorText(kFail, language);
}

std::wstring ErrorCodeText(DWORD code)
{
    if (!(code & kCustomerBit))
        return ErrorText(code, 0);
    if (code & kStringIdentifierBit) {
        const UINT id = code & 0xFFFF;
        if (id != 0) {
            std::wstring text = LoadResourceString(id);
            if (!text.empty())
                return text;
        }
    }
    return ErrorText(kFail, 0);
}
