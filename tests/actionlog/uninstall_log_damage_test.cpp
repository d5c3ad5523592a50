// Read of damaged and hostile logs: it never fails, hangs or reads beyond the file, and it
// keeps exactly the records that come before the damage.
#include "actionlog/action_log.h"

#include "log_test_support.h"
#include "product/product_identity.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using namespace actionlog_testing;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

using Bytes = std::vector<std::uint8_t>;

class UninstallLogDamageTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetProductCode(product::kThisProductCode);
        ActionLog log;
        log.records = {
            {ActionKind::FolderCreated, folder_ / L"Korvane", {}, true, -1},
            {ActionKind::FileInstalled, folder_ / L"Korvane\\Tavelo.exe", {}, true, 1},
            {ActionKind::FileInstalled, folder_ / L"Korvane\\Lang\\Fran\u00e7ais.dll", {}, false, 0},
            {ActionKind::FileInstalled, L"C:\\ProgramData\\Korvane\\Tavelo 7\\Textures\\\u6728\u6750.png", {}, true, 3},
            {ActionKind::ProgramShortcut, L"C:\\Menu\\Tavelo 7.lnk", {}, true, -1},
            {ActionKind::UninstallShortcut, L"", {}, false, -1},
            {ActionKind::UninstallKey, L"", {}, true, -1},
            {ActionKind::ProductRegistration, L"", {}, true, -1},
            {ActionKind::DirectXUpdate, L"DirectX \u2013 ok", {}, true, -1},
        };
        for (int i = 0; i < 20; ++i)
            log.records.push_back({ActionKind::FileInstalled, folder_ / (L"Korvane\\Samples\\Sample " + std::to_wstring(i) + L".tvl"), {}, true, 4});
        EXPECT_TRUE(log.Write(logPath_, folder_.path(), folder_.path()));
        valid_ = ReadFileBytes(logPath_);
        ::SetFileAttributesW(logPath_.c_str(), FILE_ATTRIBUTE_NORMAL);

        ActionLog reader;
        reader.Read(logPath_);
        records_ = View(reader.previousRecords);
        EXPECT_EQ(records_.size(), log.records.size());
        // Where each line of the valid log ends (after its line feed).
        for (std::size_t i = 2; i + 1 < valid_.size(); i += 2)
            if (valid_[i] == '\n' && valid_[i + 1] == 0)
                lineEnds_.push_back(i + 2);
        EXPECT_EQ(lineEnds_.size(), 6 + records_.size());
    }

    // Reads damaged bytes and checks what came out against the valid log.
    void CheckRead(const Bytes& damaged, const std::string& what)
    {
        WriteFileBytes(logPath_, damaged);
        ActionLog reader;
        reader.Read(logPath_);
        const std::vector<RecordView> read = View(reader.previousRecords);

        // The first byte that differs, and how many record lines lie wholly before it.
        const std::size_t common = std::min(valid_.size(), damaged.size());
        const std::size_t firstChange =
            static_cast<std::size_t>(std::mismatch(valid_.begin(), valid_.begin() + common, damaged.begin()).first - valid_.begin());
        const std::size_t intactLines =
            static_cast<std::size_t>(std::upper_bound(lineEnds_.begin(), lineEnds_.end(), firstChange) - lineEnds_.begin());
        const std::size_t intactRecords = intactLines > 6 ? intactLines - 6 : 0;

        const std::size_t compared = std::min(read.size(), intactRecords);
        ASSERT_TRUE(std::equal(read.begin(), read.begin() + compared, records_.begin())) << what;
        if (intactLines >= 6) {
            ASSERT_GE(read.size(), intactRecords) << what << ": records before the damage were lost";
        }
        for (const ActionRecord& record : reader.previousRecords) {
            ASSERT_GE(record.kind, ActionKind::FolderCreated) << what;
            ASSERT_LE(record.kind, ActionKind::DirectXUpdate) << what;
            ASSERT_GE(record.detail, -1) << what;
            ASSERT_LE(record.detail, 254) << what;
            ASSERT_LE(record.text.size(), 511u) << what;
            ASSERT_TRUE(record.backup.empty()) << what;
            if (record.kind == ActionKind::UninstallKey || record.kind == ActionKind::ProductRegistration) {
                ASSERT_TRUE(record.text.empty()) << what;
            }
        }
        ASSERT_LE(reader.previousInstallPath.size(), 511u);
        ASSERT_LE(reader.previousShortcutPath.size(), 511u);
        ASSERT_LE(reader.previousProduct.size(), 511u);
    }

    testing_support::TemporaryFolder folder_;
    const std::wstring logPath_ = folder_ / L"Uninstall.ulog";
    Bytes valid_;
    std::vector<RecordView> records_;
    std::vector<std::size_t> lineEnds_;
};

TEST_F(UninstallLogDamageTest, DamagedLogYieldsOnlyTheRecordsBeforeTheDamage)
{
    std::mt19937 random(20240607);
    auto below = [&](std::size_t limit) { return std::uniform_int_distribution<std::size_t>(0, limit - 1)(random); };
    auto anyByte = [&] { return static_cast<std::uint8_t>(below(256)); };

    for (int trial = 0; trial < 2000; ++trial) {
        Bytes damaged = valid_;
        std::string what;
        switch (trial % 6) {
        case 0:   // bytes flipped
            for (std::size_t n = 1 + below(4); n > 0; --n)
                damaged[below(damaged.size())] ^= static_cast<std::uint8_t>(1 + below(255));
            what = "bytes flipped";
            break;
        case 1:   // cut anywhere, an odd byte count included
            damaged.resize(below(damaged.size()));
            what = "cut";
            break;
        case 2: {   // a stretch removed
            const std::size_t at = below(damaged.size());
            damaged.erase(damaged.begin() + at, damaged.begin() + std::min(damaged.size(), at + 1 + below(64)));
            what = "stretch removed";
            break;
        }
        case 3: {   // random bytes inserted
            const std::size_t at = below(damaged.size());
            Bytes inserted(1 + below(32));
            for (std::uint8_t& byte : inserted)
                byte = anyByte();
            damaged.insert(damaged.begin() + at, inserted.begin(), inserted.end());
            what = "bytes inserted";
            break;
        }
        case 4: {   // a line made longer, up to far beyond what a line may hold
            const std::size_t at = 2 + 2 * below((damaged.size() - 2) / 2);
            Bytes filler(2 * (1 + below(1200)), 0);
            for (std::size_t i = 0; i < filler.size(); i += 2)
                filler[i] = static_cast<std::uint8_t>('0' + below(10));
            damaged.insert(damaged.begin() + at, filler.begin(), filler.end());
            what = "line lengthened";
            break;
        }
        case 5: {   // line ends or separators and characters of the record syntax put in
            static const char syntax[] = {'\n', '\r', ':', '-', ' ', '/', '0', '1', '8', 'f', '\t'};
            for (std::size_t n = 1 + below(3); n > 0; --n) {
                const std::size_t at = 2 + 2 * below((damaged.size() - 2) / 2);
                damaged[at] = static_cast<std::uint8_t>(syntax[below(sizeof syntax)]);
                damaged[at + 1] = 0;
            }
            what = "syntax characters put in";
            break;
        }
        }
        CheckRead(damaged, what + " (trial " + std::to_string(trial) + ")");
        if (HasFatalFailure())
            return;
    }
}

TEST_F(UninstallLogDamageTest, HostileLogsEndTheReadingQuietly)
{
    CheckRead({}, "empty file");
    CheckRead({0xFF}, "one byte");
    CheckRead({0xFF, 0xFE}, "byte-order mark only");
    CheckRead(Bytes(200000, 0), "zeros");
    CheckRead(Bytes(200000, '\n'), "ANSI line feeds only");
    Bytes noLineEnd(300000, 'x');
    CheckRead(noLineEnd, "one endless ANSI line");
    Bytes unicodeNoLineEnd = valid_;
    unicodeNoLineEnd.resize(lineEnds_[6]);
    unicodeNoLineEnd.insert(unicodeNoLineEnd.end(), 300000, 'y');
    CheckRead(unicodeNoLineEnd, "one endless UTF-16 line after the header");
    Bytes hugeNumbers = valid_;
    hugeNumbers.resize(lineEnds_[5]);
    for (const char* line : {"99999999999999999999999:0101:1 -- C:\\A\r\n", "0000:ffffffffffffffffffff:1 -- C:\\A\r\n"})
        for (const char* c = line; *c; ++c)
            hugeNumbers.insert(hugeNumbers.end(), {static_cast<std::uint8_t>(*c), 0});
    CheckRead(hugeNumbers, "numbers beyond any integer");
}

} // namespace
