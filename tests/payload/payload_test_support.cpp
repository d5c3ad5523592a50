#include "payload_test_support.h"

#include "payload/compress_error.h"
#include "payload/payload_format.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <type_traits>

namespace payload_testing {

std::vector<PayloadEntry> Entries(const std::vector<PayloadFile>& files)
{
    std::vector<PayloadEntry> entries;
    for (const PayloadFile& file : files) {
        PayloadEntry entry;
        entry.source = file.source;
        entry.destination = file.destination;
        entry.kind = file.kind;
        entry.size = file.content.size();
        entry.crc = file.crc ? *file.crc : PayloadCrc32(file.content.data(), file.content.size());
        entries.push_back(entry);
    }
    return entries;
}

std::string PayloadBytes(const std::vector<PayloadFile>& files)
{
    std::string bytes = payload_format::HeaderBytes(Entries(files));
    for (const PayloadFile& file : files)
        bytes += file.content;
    return bytes;
}

std::string CompressedPayload(const std::vector<PayloadFile>& files)
{
    return payload_format::Compress(PayloadBytes(files));
}

PayloadHandler Recorder::handler()
{
    return [this](const notification& message) {
        Event event;
        event.kind = message.index();
        std::visit(
            [&event](const auto& data) {
                using Data = std::decay_t<decltype(data)>;
                if constexpr (std::is_same_v<Data, notification::file_begin>
                              || std::is_same_v<Data, notification::file_end>)
                    event.path = data.entry.destination;
                else if constexpr (std::is_same_v<Data, notification::progress>)
                    event.done = data.done, event.total = data.total;
                else if constexpr (std::is_same_v<Data, notification::finished>)
                    event.done = data.compressedBytes, event.total = data.total;
                else if constexpr (std::is_same_v<Data, notification::failed>)
                    event.path = data.path, event.code = data.code;
            },
            message);
        events.push_back(event);
        return answer ? answer(message) : notification::result::proceed;
    };
}

std::size_t Recorder::Count(std::size_t kind) const
{
    std::size_t count = 0;
    for (const Event& event : events)
        count += event.kind == kind;
    return count;
}

Event Recorder::Failure() const
{
    EXPECT_EQ(Count(5), 1u) << "exactly one failed notification";
    for (const Event& event : events)
        if (event.kind == 5)
            return event;
    return {};
}

PayloadHandler VerifyingHandler(std::istream& stream, Recorder& recorder)
{
    PayloadHandler record = recorder.handler();
    return [&stream, record](notification message) {
        const bool started = std::holds_alternative<notification::started>(message);
        const notification::result answer = record(std::move(message));
        if (started) {
            if (!VerifyPayload(stream))
                throw_compress_error(compress_errc::damaged_archive);
            stream.clear();
            stream.seekg(0);
        }
        return answer;
    };
}

std::optional<std::string> FileContent(const std::wstring& path)
{
    if (!testing_support::Exists(path))
        return std::nullopt;
    return testing_support::ReadFileText(path);
}

bool HoldsNoFile(const std::wstring& folder)
{
    boost::system::error_code error;
    for (boost::filesystem::recursive_directory_iterator it(folder, error), end; it != end; it.increment(error))
        if (boost::filesystem::is_regular_file(it->path()))
            return false;
    return true;
}

} // namespace payload_testing
