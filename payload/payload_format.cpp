#include "payload/payload_format.h"

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <ostream>
#include <sstream>
#include <stdexcept>

namespace io = boost::iostreams;

namespace payload_format {

static_assert(sizeof(wchar_t) == 2, "archive strings are UTF-16 code units");

namespace {

void AppendString(std::string& out, const std::wstring& text)
{
    AppendLittleEndian(out, text.size(), 4);
    for (const wchar_t unit : text)
        AppendLittleEndian(out, static_cast<std::uint16_t>(unit), 2);
}

} // namespace

void AppendLittleEndian(std::string& out, std::uint64_t value, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, value >>= 8)
        out.push_back(static_cast<char>(value & 0xFF));
}

std::uint64_t RecordSize(const PayloadEntry& entry)
{
    return kFixedRecordBytes + 2 * entry.source.size() + 2 * entry.destination.size();
}

std::string HeaderBytes(const std::vector<PayloadEntry>& entries)
{
    std::uint64_t headerSize = kFixedHeaderBytes;
    for (const PayloadEntry& entry : entries)
        headerSize += RecordSize(entry);

    std::string header;
    header.reserve(static_cast<std::size_t>(headerSize));
    AppendLittleEndian(header, headerSize, 8);
    AppendLittleEndian(header, entries.size(), 4);
    for (const PayloadEntry& entry : entries) {
        AppendString(header, entry.source);
        AppendString(header, entry.destination);
        AppendLittleEndian(header, KindField(entry.kind), 4);
        AppendLittleEndian(header, entry.size, 8);
        AppendLittleEndian(header, entry.crc, 4);
    }
    return header;
}

std::string Compress(const std::string& bytes, int blockSize)
{
    std::ostringstream compressed;
    PayloadWriter writer(compressed, blockSize);
    writer.Write(bytes.data(), bytes.size());
    writer.Finish();
    return std::move(compressed).str();
}

struct PayloadWriter::Impl {
    explicit Impl(std::ostream& out) : target(out) {}
    std::ostream& target;
    io::filtering_ostream out;
};

PayloadWriter::PayloadWriter(std::ostream& out, int blockSize) : impl_(std::make_unique<Impl>(out))
{
    impl_->out.push(io::bzip2_compressor(io::bzip2_params(blockSize)));
    impl_->out.push(out);
    impl_->out.exceptions(std::ios::badbit | std::ios::failbit);
}

PayloadWriter::~PayloadWriter() = default;

void PayloadWriter::WriteHeader(const std::vector<PayloadEntry>& entries)
{
    const std::string header = HeaderBytes(entries);
    Write(header.data(), header.size());
}

void PayloadWriter::Write(const char* data, std::size_t size)
{
    impl_->out.write(data, static_cast<std::streamsize>(size));
}

void PayloadWriter::Finish()
{
    impl_->out.reset();   // closes the chain, which ends the bzip2 stream
    impl_->target.flush();
    if (!impl_->target)
        throw std::runtime_error("the archive could not be written");
}

} // namespace payload_format
