#include "payload/extraction.h"

#include "payload/compress_error.h"
#include "payload_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace payload_testing;

namespace {

using result = notification::result;

class PayloadSinkTest : public testing::Test {
protected:
    // Three files: "alpha" (5 bytes), an empty one, "xyz" (3 bytes).
    std::vector<PayloadFile> files_ = {
        {L"C:\\build\\alpha.txt", L"<InstallPath>\\Data", FileKind::SharedData, "alpha"},
        {L"C:\\build\\empty.txt", L"<InstallPath>\\Data", FileKind::SharedData, ""},
        {L"C:\\build\\xyz.bin", L"<InstallPath>", FileKind::MainProgram, "xyz"},
    };
    std::string bytes_ = PayloadBytes(files_);
    std::size_t headerSize_ = bytes_.size() - 8;   // the files hold 8 bytes

    testing_support::TemporaryFolder folder_;
    Recorder recorder_;

    PayloadSink MakeSink() { return PayloadSink(folder_.path(), L"", L"", recorder_.handler()); }

    // Offers every byte, piece by piece, again and again until all are accepted, and
    // returns what each call accepted.
    static std::vector<std::size_t> Feed(PayloadSink& sink, const std::string& bytes, std::size_t piece)
    {
        std::vector<std::size_t> accepted;
        std::size_t offset = 0;
        while (offset < bytes.size()) {
            const std::size_t n = sink.write(bytes.data() + offset, std::min(piece, bytes.size() - offset));
            accepted.push_back(n);
            offset += n;
        }
        return accepted;
    }

    void ExpectFilesWritten()
    {
        EXPECT_EQ(FileContent(folder_ / L"Data\\alpha.txt"), "alpha");
        EXPECT_EQ(FileContent(folder_ / L"Data\\empty.txt"), "");
        EXPECT_EQ(FileContent(folder_ / L"xyz.bin"), "xyz");
    }
};

TEST_F(PayloadSinkTest, CallsNeverCrossTheEndOfTheSizeFieldTheHeaderOrAFile)
{
    PayloadSink sink = MakeSink();
    const std::vector<std::size_t> accepted = Feed(sink, bytes_, bytes_.size());
    EXPECT_EQ(accepted, (std::vector<std::size_t>{8, headerSize_ - 8, 5, 0, 3}));
    EXPECT_EQ(sink.bytesDone(), bytes_.size());
    EXPECT_EQ(sink.bytesTotal(), bytes_.size());
    ExpectFilesWritten();
}

TEST_F(PayloadSinkTest, HeaderOneBytePerCallGivesTheSameResultAsOnePiece)
{
    std::vector<Event> inOnePiece;
    {
        PayloadSink sink = MakeSink();
        Feed(sink, bytes_, bytes_.size());
        inOnePiece = recorder_.events;
    }
    testing_support::RemoveTree(folder_ / L"Data");
    testing_support::RemoveTree(folder_ / L"xyz.bin");
    recorder_.events.clear();

    PayloadSink sink = MakeSink();
    const std::vector<std::size_t> accepted = Feed(sink, bytes_, 1);
    EXPECT_EQ(std::count(accepted.begin(), accepted.end(), 0u), 1) << "only the empty file accepts nothing";
    ASSERT_GE(recorder_.events.size(), 2u);
    EXPECT_EQ(recorder_.events[0], Event{6}) << "the header's files are told when the header is complete";
    EXPECT_EQ(recorder_.events[1], (Event{4, L"", headerSize_, bytes_.size()}))
        << "the first progress comes when the header is complete";
    ExpectFilesWritten();

    // Byte by byte, the same files are begun and ended in the same order; progress only
    // comes in finer steps.
    auto withoutProgress = [](std::vector<Event> events) {
        events.erase(std::remove_if(events.begin(), events.end(), [](const Event& e) { return e.kind == 4; }),
                     events.end());
        return events;
    };
    EXPECT_EQ(withoutProgress(recorder_.events), withoutProgress(inOnePiece));
    EXPECT_EQ(recorder_.events.back(), inOnePiece.back());
}

TEST_F(PayloadSinkTest, EmptyEntryStartsAndEndsInOneCallThatAcceptsNothing)
{
    PayloadSink sink = MakeSink();
    const std::size_t dataStart = headerSize_;
    Feed(sink, bytes_.substr(0, dataStart + 5), bytes_.size());
    recorder_.events.clear();

    EXPECT_EQ(sink.write(bytes_.data() + dataStart + 5, 3), 0u);
    const std::wstring empty = folder_ / L"Data\\empty.txt";
    EXPECT_EQ(recorder_.events, (std::vector<Event>{{2, empty}, {4, L"", dataStart + 5, bytes_.size()}, {3, empty}}));
    EXPECT_EQ(FileContent(empty), "");
}

TEST_F(PayloadSinkTest, EmptyFilesAfterTheLastByteAreWrittenAtTheEnd)
{
    files_ = {{L"a.txt", L"<InstallPath>", FileKind::LanguageLibrary, "abc"}, {L"b.txt", L"<InstallPath>", FileKind::LanguageLibrary, ""},
              {L"c.txt", L"<InstallPath>", FileKind::LanguageLibrary, ""}};
    bytes_ = PayloadBytes(files_);
    PayloadSink sink = MakeSink();
    Feed(sink, bytes_, bytes_.size());
    EXPECT_FALSE(FileContent(folder_ / L"b.txt")) << "no call has offered the stream's end yet";

    sink.finish();
    EXPECT_EQ(FileContent(folder_ / L"b.txt"), "");
    EXPECT_EQ(FileContent(folder_ / L"c.txt"), "");
    EXPECT_EQ(recorder_.Count(3), 3u);
    EXPECT_EQ(sink.bytesDone(), sink.bytesTotal());
}

TEST_F(PayloadSinkTest, SkippedEntryIsConsumedWithoutWritingWhileProgressGoesOn)
{
    recorder_.answer = [](const notification& message) {
        const auto* begin = std::get_if<notification::file_begin>(&message);
        return begin && begin->entry.size == 5 ? result::skip : result::proceed;
    };
    PayloadSink sink = MakeSink();
    Feed(sink, bytes_, bytes_.size());

    EXPECT_FALSE(FileContent(folder_ / L"Data\\alpha.txt"));
    EXPECT_EQ(FileContent(folder_ / L"xyz.bin"), "xyz");
    const std::size_t dataStart = headerSize_;
    const std::wstring alpha = folder_ / L"Data\\alpha.txt";
    const std::wstring empty = folder_ / L"Data\\empty.txt";
    const std::wstring xyz = folder_ / L"xyz.bin";
    EXPECT_EQ(recorder_.events, (std::vector<Event>{{6},
                                                    {4, L"", dataStart, bytes_.size()},
                                                    {2, alpha},
                                                    {4, L"", dataStart + 5, bytes_.size()},
                                                    {2, empty},
                                                    {4, L"", dataStart + 5, bytes_.size()},
                                                    {3, empty},
                                                    {2, xyz},
                                                    {4, L"", dataStart + 8, bytes_.size()},
                                                    {3, xyz}}));
}

TEST_F(PayloadSinkTest, AfterAnErrorEveryCallAcceptsAndDiscardsAllItIsOffered)
{
    recorder_.answer = [](const notification& message) {
        return std::holds_alternative<notification::file_begin>(message) ? result::abort : result::proceed;
    };
    PayloadSink sink = MakeSink();
    const std::size_t dataStart = headerSize_;
    Feed(sink, bytes_.substr(0, dataStart), bytes_.size());
    try {
        sink.write(bytes_.data() + dataStart, 8);
        FAIL() << "abort did not end the extraction";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), compress_errc::interrupted);
    }
    const std::size_t events = recorder_.events.size();
    EXPECT_EQ(sink.write(bytes_.data() + dataStart, 8), 8u);
    EXPECT_EQ(recorder_.events.size(), events);
    EXPECT_TRUE(HoldsNoFile(folder_.path()));
}

TEST_F(PayloadSinkTest, WithoutHandlerEveryFileIsWritten)
{
    PayloadSink sink(folder_.path(), L"", L"", nullptr);
    Feed(sink, bytes_, bytes_.size());
    ExpectFilesWritten();
}

TEST_F(PayloadSinkTest, HeaderSizeFieldOutOfRangeIsRefusedAtItsLastByte)
{
    for (const std::uint64_t headerSize : {0ull, 11ull, (16ull << 20) + 1, 1ull << 40}) {
        std::string bytes;
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<char>(headerSize >> (8 * i)));
        PayloadSink sink = MakeSink();
        EXPECT_EQ(sink.write(bytes.data(), 7), 7u);
        try {
            sink.write(bytes.data() + 7, 1);
            ADD_FAILURE() << "accepted the header size " << headerSize;
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code(), compress_errc::unexpected);
        }
    }
}

} // namespace
