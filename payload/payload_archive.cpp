#include "payload/payload_archive.h"

#include "payload/compress_error.h"
#include "payload/payload_format.h"
#include "product/languages.h"

#include <windows.h>

#include <cstring>
#include <limits>

namespace {

// Reads the fields of a header in order, refusing any read past its end.
class HeaderReader {
public:
    HeaderReader(const char* bytes, std::size_t size) : next_(bytes), left_(size) {}

    std::uint64_t Integer(std::size_t bytes)
    {
        Need(bytes);
        const std::uint64_t value = payload_format::ReadLittleEndian(next_, bytes);
        Advance(bytes);
        return value;
    }

    // A length in UTF-16 code units, then that many code units.
    std::wstring String()
    {
        const std::uint64_t length = Integer(4);
        if (length > left_ / 2)
            throw_compress_error(compress_errc::unexpected);
        std::wstring text(static_cast<std::size_t>(length), L'\0');
        std::memcpy(text.data(), next_, static_cast<std::size_t>(length) * 2);
        Advance(static_cast<std::size_t>(length) * 2);
        return text;
    }

    std::size_t left() const { return left_; }

private:
    void Need(std::size_t bytes) const
    {
        if (bytes > left_)
            throw_compress_error(compress_errc::unexpected);
    }
    void Advance(std::size_t bytes)
    {
        next_ += bytes;
        left_ -= bytes;
    }

    const char* next_;
    std::size_t left_;
};

PayloadEntry ReadPayloadEntry(HeaderReader& reader)
{
    PayloadEntry entry;
    entry.source = reader.String();
    entry.destination = reader.String();
    entry.kind = payload_format::KindOfField(static_cast<std::uint32_t>(reader.Integer(4)));
    entry.size = reader.Integer(8);
    entry.crc = static_cast<std::uint32_t>(reader.Integer(4));
    return entry;
}

} // namespace

std::uint64_t PayloadArchive::TotalSize() const
{
    std::uint64_t total = headerSize;
    for (const PayloadEntry& entry : entries) {
        if (entry.size > std::numeric_limits<std::uint64_t>::max() - total)
            throw_compress_error(compress_errc::unexpected);
        total += entry.size;
    }
    return total;
}

std::uint32_t PayloadCrc32(const void* data, std::size_t size)
{
    PayloadCrc crc;
    crc.process_bytes(data, size);
    return crc.checksum();
}

std::wstring PayloadFileName(const std::wstring& source)
{
    const std::size_t separator = source.find_last_of(L"\\/");
    return separator == std::wstring::npos ? source : source.substr(separator + 1);
}

bool IsSafePayloadFileName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    for (const wchar_t c : name)
        if (c == L':' || c < 0x20)
            return false;
    return true;
}

PayloadArchive ReadPayloadHeader(const char* header, std::size_t size)
{
    HeaderReader reader(header, size);
    PayloadArchive archive;
    archive.headerSize = reader.Integer(8);
    if (archive.headerSize != size)
        throw_compress_error(compress_errc::unexpected);

    const std::uint64_t count = reader.Integer(4);
    if (count > reader.left() / payload_format::kFixedRecordBytes)
        throw_compress_error(compress_errc::unexpected);
    archive.entries.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        archive.entries.push_back(ReadPayloadEntry(reader));
        if (!IsSafePayloadFileName(PayloadFileName(archive.entries.back().source)))
            throw_compress_error(compress_errc::unexpected);
    }
    if (reader.left() != 0)
        throw_compress_error(compress_errc::unexpected);
    archive.TotalSize();   // refuses sizes whose sum does not fit
    return archive;
}

kv::imemstream OpenPayloadStream()
{
    const HMODULE executable = ::GetModuleHandleW(nullptr);
    const auto name = MAKEINTRESOURCEW(PayloadArchive::kResourceName);
    const auto type = MAKEINTRESOURCEW(PayloadArchive::kResourceType);
    HMODULE module = ResourceModule();
    HRSRC resource = ::FindResourceW(module, name, type);
    if (!resource && module != executable) {
        module = executable;
        resource = ::FindResourceW(module, name, type);
    }
    if (!resource)
        return kv::imemstream();

    // Resource memory stays mapped for the life of the module, so the stream reads it in
    // place and never copies it.
    const HGLOBAL loaded = ::LoadResource(module, resource);
    const DWORD size = ::SizeofResource(module, resource);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return kv::imemstream();
    return kv::imemstream(static_cast<const char*>(bytes), size);
}
