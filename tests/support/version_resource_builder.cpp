#include "support/version_resource_builder.h"

#include "support/strings.h"
#include "support/unique_resource.h"

#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

// One node of the version tree: wLength, wValueLength, wType, key, padding, value,
// padding, children. Offsets are aligned to 32 bits from the start of the resource, which
// every node starts on.
class Node {
public:
    explicit Node(std::vector<std::uint8_t>& out) : out_(out), start_(out.size()) {}

    void Begin(const std::wstring& key, WORD valueLength, WORD type)
    {
        PutWord(0);   // wLength, filled in by End
        PutWord(valueLength);
        PutWord(type);
        for (wchar_t c : key)
            PutWord(static_cast<WORD>(c));
        PutWord(0);
        Align();
    }
    void PutBytes(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }
    void PutWord(WORD w) { PutBytes(&w, sizeof w); }
    void Align()
    {
        while (out_.size() % 4)
            out_.push_back(0);
    }
    void End()
    {
        const WORD length = static_cast<WORD>(out_.size() - start_);
        std::memcpy(out_.data() + start_, &length, sizeof length);
    }

private:
    std::vector<std::uint8_t>& out_;
    std::size_t start_;
};

} // namespace

std::vector<std::uint8_t> BuildVersionResource(const VersionResource& resource)
{
    std::vector<std::uint8_t> out;
    Node root(out);
    root.Begin(L"VS_VERSION_INFO", resource.fixedInfo ? sizeof(VS_FIXEDFILEINFO) : 0, 0);
    if (resource.fixedInfo) {
        VS_FIXEDFILEINFO fixed{};
        fixed.dwSignature = VS_FFI_SIGNATURE;
        fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
        fixed.dwFileVersionMS = resource.fileVersionMS;
        fixed.dwFileVersionLS = resource.fileVersionLS;
        fixed.dwProductVersionMS = resource.fileVersionMS;
        fixed.dwProductVersionLS = resource.fileVersionLS;
        fixed.dwFileFlagsMask = resource.fileFlagsMask;
        fixed.dwFileFlags = resource.fileFlags;
        fixed.dwFileOS = VOS_NT_WINDOWS32;
        fixed.dwFileType = VFT_APP;
        root.PutBytes(&fixed, sizeof fixed);
        root.Align();
    }

    if (!resource.tables.empty()) {
        Node fileInfo(out);
        fileInfo.Begin(L"StringFileInfo", 0, 1);
        for (const VersionStringTable& table : resource.tables) {
            Node tableNode(out);
            tableNode.Begin(table.key, 0, 1);
            for (const VersionString& string : table.strings) {
                Node stringNode(out);
                const std::size_t units = string.value.size() + (string.countNul ? 1 : 0);
                stringNode.Begin(string.key, static_cast<WORD>(units), 1);
                stringNode.PutBytes(string.value.c_str(), (string.value.size() + 1) * sizeof(wchar_t));
                stringNode.Align();
                stringNode.End();
            }
            tableNode.End();
        }
        fileInfo.End();
    }

    if (!resource.translations.empty()) {
        Node varInfo(out);
        varInfo.Begin(L"VarFileInfo", 0, 1);
        Node var(out);
        var.Begin(L"Translation", static_cast<WORD>(resource.translations.size() * 4), 0);
        for (const auto& [language, codePage] : resource.translations) {
            var.PutWord(language);
            var.PutWord(codePage);
        }
        var.End();
        varInfo.End();
    }
    root.End();
    return out;
}

namespace {

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

} // namespace

void WriteModuleWithResource(const std::wstring& source, const std::wstring& target, LPCWSTR type, LPCWSTR name,
                             const std::vector<std::uint8_t>& data)
{
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + kv::to_utf8(source));
    // The languages the source has of that resource: all of them are replaced.
    std::vector<WORD> languages;
    if (const kv::unique_module module(::LoadLibraryExW(source.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)); module)
        ::EnumResourceLanguagesW(module.get(), type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    HANDLE update = ::BeginUpdateResourceW(target.c_str(), FALSE);
    if (!update)
        throw std::runtime_error("cannot update the resources of " + kv::to_utf8(target));
    bool stored = true;
    for (const WORD language : languages)
        stored = stored && ::UpdateResourceW(update, type, name, language, nullptr, 0);
    stored = stored && ::UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                         const_cast<std::uint8_t*>(data.data()), static_cast<DWORD>(data.size()));
    if (!::EndUpdateResourceW(update, !stored) || !stored)
        throw std::runtime_error("cannot store a resource in " + kv::to_utf8(target));
}

} // namespace testing_support
