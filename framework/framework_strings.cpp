#include "framework/framework_strings.h"

#include "framework/dialog.h"

std::wstring FormatFrameworkText(unsigned id, const std::wstring& argument)
{
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    std::wstring text = length > 0 ? std::wstring(resource, static_cast<std::size_t>(length)) : std::wstring();
    for (std::size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at + argument.size()))
        text.replace(at, 2, argument);
    return text;
}
