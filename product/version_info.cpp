#include "product/version_info.h"

#include "product/languages.h"
#include "support/strings.h"
#include "support/system_library.h"

namespace {

// version.dll is not imported at load time; its functions are bound from the system folder.
using GetFileVersionInfoSizeWFn = DWORD WINAPI(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL WINAPI(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL WINAPI(LPCVOID, LPCWSTR, LPVOID*, PUINT);

bool QueryValue(const void* block, const std::wstring& subBlock, void** value, UINT* length)
{
    static const auto query = kv::system_function<VerQueryValueWFn>(L"version.dll", "VerQueryValueW");
    return query && query(block, subBlock.c_str(), value, length);
}

constexpr WORD kUnicodeCodePage = 1200;

} // namespace

VersionInfo::VersionInfo(const std::wstring& path)
{
    static const auto getSize =
        kv::system_function<GetFileVersionInfoSizeWFn>(L"version.dll", "GetFileVersionInfoSizeW");
    static const auto getInfo =
        kv::system_function<GetFileVersionInfoWFn>(L"version.dll", "GetFileVersionInfoW");
    if (getSize && getInfo) {
        DWORD ignored = 0;
        if (const DWORD size = getSize(path.c_str(), &ignored)) {
            data_.resize(size);
            if (!getInfo(path.c_str(), 0, size, data_.data()))
                data_.clear();
        }
    }
    block_ = data_.data();
    length_ = static_cast<DWORD>(data_.size());
    Parse();
}

VersionInfo::VersionInfo(const void* block, DWORD length) : block_(block), length_(length)
{
    Parse();
}

const VersionInfo& VersionInfo::Current()
{
    static const VersionInfo current = [] {
        const HMODULE module = ::GetModuleHandleW(nullptr);
        const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
        const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
        const void* block = loaded ? ::LockResource(loaded) : nullptr;
        const DWORD length = block ? ::SizeofResource(module, resource) : 0;
        return VersionInfo(block, length);
    }();
    return current;
}

void VersionInfo::Parse()
{
    if (length_ == 0)
        return;

    void* value = nullptr;
    UINT size = 0;
    if (!QueryValue(block_, L"\\", &value, &size) || !value || size < sizeof(VS_FIXEDFILEINFO))
        return;
    fixed_ = static_cast<const VS_FIXEDFILEINFO*>(value);

    if (QueryValue(block_, L"\\VarFileInfo\\Translation", &value, &size) && value && size >= 4) {
        const WORD* pairs = static_cast<const WORD*>(value);
        for (UINT i = 0; i + 1 < size / sizeof(WORD); i += 2)
            if (pairs[i + 1] == kUnicodeCodePage)
                translations_.push_back(kv::format(L"%04hx%04hx", pairs[i], pairs[i + 1]));
    }
}

std::wstring VersionInfo::StringValue(const std::wstring& key, std::size_t translation) const
{
    if (length_ == 0 || translation >= translations_.size())
        return {};
    void* value = nullptr;
    UINT length = 0;
    if (!QueryValue(block_, L"\\StringFileInfo\\" + translations_[translation] + L"\\" + key, &value, &length)
        || !value || length == 0)
        return {};
    const wchar_t* text = static_cast<const wchar_t*>(value);
    if (text[length - 1] == L'\0')
        --length;
    return std::wstring(text, length);
}

std::uint64_t VersionInfo::FileVersion() const
{
    if (!fixed_)
        return 0;
    return (static_cast<std::uint64_t>(fixed_->dwFileVersionMS) << 32) | fixed_->dwFileVersionLS;
}

std::wstring VersionInfo::ProductNameWithVersion() const
{
    std::wstring text = StringValue(L"ProductName");
    const std::wstring version = StringValue(L"ProductVersion");
    if (!version.empty())
        text.append(L" ").append(version);

    const DWORD flags = fixed_ ? fixed_->dwFileFlags & fixed_->dwFileFlagsMask : 0;
    if ((flags & VS_FF_PRERELEASE) && PRIMARYLANGID(LANGIDFROMLCID(LanguageLcid(CurrentLanguage()))) != LANG_FRENCH) {
        const std::wstring::size_type at = text.rfind(L"b\u00EAta");
        if (at != std::wstring::npos)
            text.replace(at, 4, L"beta");
    }
    if (flags & VS_FF_PRIVATEBUILD)
        text += L" \u2013 Private";
    if (flags & VS_FF_DEBUG)
        text += L" \u2013 Debug";
    return text;
}
