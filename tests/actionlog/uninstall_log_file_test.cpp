#include "actionlog/action_log.h"

#include "actionlog/rollback.h"
#include "log_test_support.h"
#include "product/product_identity.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/wine_detection.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace actionlog_testing;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Korvane\\Tavelo 7";
constexpr wchar_t kMenuFolder[] = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavelo 7";

const std::wstring kHeader = L"// Uninstall Log File v1\r\n"
                             L"// ############ WARNING: Do not delete or modify this file. ############\r\n";

class UninstallLogFileTest : public testing::Test {
protected:
    void SetUp() override { SetProductCode(product::kThisProductCode); }

    std::wstring Path(const std::wstring& relative) const { return folder_ / relative; }

    testing_support::TemporaryFolder folder_;
    const std::wstring logPath_ = folder_ / L"Uninstall.ulog";
    ActionLog log_;
};

TEST_F(UninstallLogFileTest, LogWithoutRecordsHoldsTheSixHeaderLinesOnly)
{
    ASSERT_TRUE(log_.Write(logPath_, L"C:\\Tavelo", L"C:\\Menu"));
    EXPECT_EQ(ReadFileBytes(logPath_), Utf16File(kHeader + L"// Install Tavelo 7.01j\r\n"
                                                           L"// Install Path : C:\\Tavelo\r\n"
                                                           L"// Shortcut Path : C:\\Menu\r\n"
                                                           L"// -----------------------\r\n"));
}

TEST_F(UninstallLogFileTest, EveryKindOfRecordHasItsExactLine)
{
    const std::wstring program = std::wstring(kInstallFolder) + L"\\Tavelo.exe";
    log_.records = {
        {ActionKind::FolderCreated, L"C:\\Program Files\\Korvane", {}, true, -1},
        {ActionKind::FolderCreated, kInstallFolder, {}, true, -1},
        {ActionKind::FileInstalled, std::wstring(kInstallFolder) + L"\\Lang\\Deutsch.dll", {}, true, 0},
        {ActionKind::FileInstalled, program, {}, true, 1},
        {ActionKind::FileInstalled, std::wstring(kInstallFolder) + L"\\Uninstall.exe", {}, true, 2},
        {ActionKind::FileInstalled, L"C:\\ProgramData\\Korvane\\Tavelo 7\\Textures\\Holz.png", {}, false, 3},
        {ActionKind::FileInstalled, L"C:\\users\\Public\\Desktop\\Tavelo 7 Beispiele\\Villa.tvl", {}, true, 4},
        {ActionKind::FileInstalled, L"C:\\users\\me\\Temp\\korvane_{1}\\DSetup.dll", {}, true, 5},
        {ActionKind::ProgramShortcut, std::wstring(kMenuFolder) + L"\\Tavelo 7.lnk", {}, true, -1},
        {ActionKind::UninstallShortcut, L"", {}, false, -1},
        {ActionKind::DesktopShortcut, L"C:\\users\\Public\\Desktop\\Tavelo 7.lnk", {}, true, -1},
        {ActionKind::UninstallKey, L"", {}, true, -1},
        {ActionKind::ProductRegistration, L"", {}, true, -1},
        {ActionKind::DirectXUpdate, L"Mise \u00e0 jour de DirectX \u2013 \u00e9chec", {}, false, -1},
        {ActionKind::DirectXUpdate, L"", {}, true, -1},
    };
    ASSERT_TRUE(log_.Write(logPath_, kInstallFolder, kMenuFolder));
    const std::wstring expected =
        kHeader + L"// Install Tavelo 7.01j\r\n"
                  L"// Install Path : C:\\Program Files\\Korvane\\Tavelo 7\r\n"
                  L"// Shortcut Path : C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavelo 7\r\n"
                  L"// -----------------------------------------------------------------------------\r\n"
                  L"0000:00ff:1 -- C:\\Program Files\\Korvane\r\n"
                  L"0001:00ff:1 -- C:\\Program Files\\Korvane\\Tavelo 7\r\n"
                  L"0002:0100:1 -- C:\\Program Files\\Korvane\\Tavelo 7\\Lang\\Deutsch.dll\r\n"
                  L"0003:0101:1 -- C:\\Program Files\\Korvane\\Tavelo 7\\Tavelo.exe\r\n"
                  L"0004:0102:1 -- C:\\Program Files\\Korvane\\Tavelo 7\\Uninstall.exe\r\n"
                  L"0005:0103:0 -- C:\\ProgramData\\Korvane\\Tavelo 7\\Textures\\Holz.png\r\n"
                  L"0006:0104:1 -- C:\\users\\Public\\Desktop\\Tavelo 7 Beispiele\\Villa.tvl\r\n"
                  L"0007:0105:1 -- C:\\users\\me\\Temp\\korvane_{1}\\DSetup.dll\r\n"
                  L"0008:02ff:1 -- C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavelo 7\\Tavelo 7.lnk\r\n"
                  L"0009:03ff:0 -- \r\n"
                  L"0010:04ff:1 -- C:\\users\\Public\\Desktop\\Tavelo 7.lnk\r\n"
                  L"0011:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7\r\n"
                  L"0012:06ff:1 -- HKEY_CLASSES_ROOT\\...\r\n"
                  L"0013:07ff:0 -- Mise \u00e0 jour de DirectX \u2013 \u00e9chec\r\n"
                  L"0014:07ff:1 -- \r\n";
    EXPECT_EQ(ReadFileBytes(logPath_), Utf16File(expected));
    // The key and registration texts stay in memory as written.
    EXPECT_EQ(std::next(log_.records.begin(), 11)->text,
              L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7");
    EXPECT_EQ(std::next(log_.records.begin(), 12)->text, L"HKEY_CLASSES_ROOT\\...");
}

TEST_F(UninstallLogFileTest, UpdateNamesThePreviousProduct)
{
    log_.previousProduct = L"Tavelo 7.01h";
    ASSERT_TRUE(log_.Write(logPath_, L"D:\\T", L""));
    EXPECT_EQ(ReadFileBytes(logPath_), Utf16File(kHeader + L"// Install Tavelo 7.01j -- Update (Tavelo 7.01h)\r\n"
                                                           L"// Install Path : D:\\T\r\n"
                                                           L"// Shortcut Path : \r\n"
                                                           L"// ----------------\r\n"));
}

TEST_F(UninstallLogFileTest, NumbersGrowPastFourDigits)
{
    for (int i = 0; i < 10001; ++i)
        log_.records.push_back({ActionKind::FileInstalled, L"C:\\F" + std::to_wstring(i), {}, true, 4});
    ASSERT_TRUE(log_.Write(logPath_, L"C:\\", L"C:\\"));
    const std::wstring text = TextOfUtf16File(ReadFileBytes(logPath_));
    EXPECT_NE(text.find(L"\r\n0999:0104:1 -- C:\\F999\r\n1000:0104:1 -- C:\\F1000\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"\r\n9999:0104:1 -- C:\\F9999\r\n10000:0104:1 -- C:\\F10000\r\n"), std::wstring::npos);
    const std::wstring end = L"\r\n10000:0104:1 -- C:\\F10000\r\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);

    ActionLog reader;
    reader.Read(logPath_);
    ASSERT_EQ(reader.previousRecords.size(), 10001u);
    EXPECT_EQ(reader.previousRecords.back().text, L"C:\\F10000");
}

TEST_F(UninstallLogFileTest, WrittenLogIsReadOnlyArchivedAndNotContentIndexed)
{
    ASSERT_TRUE(log_.Write(logPath_, L"C:\\T", L"C:\\M"));
    DWORD expected = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    // Wine keeps only the read-only mark (as the file mode), hidden and system; it reports
    // every file as archived and forgets the not-indexed mark.
    if (testing_support::RunningUnderWine())
        expected &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    EXPECT_EQ(::GetFileAttributesW(logPath_.c_str()), expected);
}

TEST_F(UninstallLogFileTest, ReadOnlyLogOfAnEarlierInstallationIsOverwritten)
{
    WriteFileBytes(logPath_, {'o', 'l', 'd'});
    ASSERT_TRUE(::SetFileAttributesW(logPath_.c_str(), FILE_ATTRIBUTE_READONLY));
    log_.records = {{ActionKind::DirectXUpdate, L"ok", {}, true, -1}};
    ASSERT_TRUE(log_.Write(logPath_, L"C:\\T", L"C:\\M"));
    EXPECT_EQ(ReadFileBytes(logPath_), Utf16File(kHeader + L"// Install Tavelo 7.01j\r\n"
                                                           L"// Install Path : C:\\T\r\n"
                                                           L"// Shortcut Path : C:\\M\r\n"
                                                           L"// --------------------\r\n"
                                                           L"0000:07ff:1 -- ok\r\n"));
}

TEST_F(UninstallLogFileTest, WriteDiscardsTheBackupsEvenWhenTheLogCannotBeCreated)
{
    const std::wstring backup = MakeBackup(std::nullopt, false);
    ASSERT_FALSE(backup.empty());
    WriteFileBytes(backup, {1, 2});
    ASSERT_TRUE(::SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY));
    log_.records = {{ActionKind::FileInstalled, Path(L"Tavelo.exe"), backup, true, 1}};

    EXPECT_FALSE(log_.Write(Path(L"No such folder\\Uninstall.ulog"), L"C:\\T", L"C:\\M"));
    EXPECT_EQ(::GetFileAttributesW(backup.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(log_.records.front().backup.empty());
    EXPECT_EQ(::GetFileAttributesW(Path(L"No such folder").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UninstallLogFileTest, ReadGivesBackWhatWriteWrote)
{
    const std::wstring install = Path(L"Tavelo 7");
    const std::wstring menu = Path(L"Menu");
    ASSERT_TRUE(::CreateDirectoryW(install.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(menu.c_str(), nullptr));
    log_.previousProduct = L"Tavelo 7.01h";
    log_.records = {
        {ActionKind::FolderCreated, install, {}, true, -1},
        {ActionKind::FileInstalled, install + L"\\Tavelo.exe", {}, true, 1},
        {ActionKind::FileInstalled, install + L"\\Lang\\Fran\u00e7ais.dll", {}, false, 0},
        {ActionKind::ProgramShortcut, menu + L"\\Tavelo 7.lnk", {}, true, -1},
        {ActionKind::UninstallShortcut, L"", {}, false, -1},
        {ActionKind::UninstallKey, L"", {}, true, -1},
        {ActionKind::ProductRegistration, L"", {}, false, -1},
        {ActionKind::DirectXUpdate, L"\u0395\u03bd\u03b7\u03bc\u03ad\u03c1\u03c9\u03c3\u03b7 DirectX", {}, true, -1},
    };
    ASSERT_TRUE(log_.Write(logPath_, install, menu));

    ActionLog reader;
    reader.Read(logPath_);
    EXPECT_EQ(reader.previousInstallPath, install);
    EXPECT_EQ(reader.previousShortcutPath, menu);
    EXPECT_EQ(reader.previousProduct, L"Tavelo 7.01j");
    std::vector<RecordView> expected = View(log_.records);
    expected[5].text.clear();   // key and registration texts are rebuilt by the next Write
    expected[6].text.clear();
    EXPECT_EQ(View(reader.previousRecords), expected);
    for (const ActionRecord& record : reader.previousRecords)
        EXPECT_TRUE(record.backup.empty());
    EXPECT_TRUE(reader.records.empty());
}

TEST_F(UninstallLogFileTest, ReadWithoutPathOrFileEmptiesOnlyThePreviousFolders)
{
    log_.previousInstallPath = L"C:\\A";
    log_.previousShortcutPath = L"C:\\B";
    log_.previousProduct = L"Tavelo 7.01h";
    log_.Read(std::nullopt);
    EXPECT_EQ(log_.previousInstallPath, L"");
    EXPECT_EQ(log_.previousShortcutPath, L"");
    EXPECT_EQ(log_.previousProduct, L"Tavelo 7.01h");

    log_.previousInstallPath = L"C:\\A";
    log_.Read(Path(L"Missing.ulog"));
    EXPECT_EQ(log_.previousInstallPath, L"");
    EXPECT_TRUE(log_.previousRecords.empty());
}

// A log as an earlier installation wrote it, with the given header lines 3 to 6 and records.
std::wstring LogText(const std::wstring& install, const std::wstring& menu, const std::wstring& records)
{
    return kHeader + L"// Install Tavelo 7.01h\r\n// Install Path : " + install + L"\r\n// Shortcut Path : " + menu
           + L"\r\n// ---\r\n" + records;
}

TEST_F(UninstallLogFileTest, LogWithoutByteOrderMarkIsReadAsAnsiText)
{
    ASSERT_TRUE(::CreateDirectoryW(Path(L"Install").c_str(), nullptr));
    const std::wstring text = LogText(Path(L"Install"), Path(L"Menu"),
                                      L"0000:0101:1 -- C:\\Caf\u00e9\\Tavelo.exe\r\n0001:07ff:0 -- DirectX");
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), ansi.data(), size, nullptr, nullptr);
    WriteFileBytes(logPath_, std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
    // The character must have survived the code page for the test to mean anything.
    wchar_t back[8] = {};
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data() + ansi.find("Caf") + 3, 1, back, 8);
    ASSERT_EQ(back[0], L'\u00e9');

    log_.Read(logPath_);
    EXPECT_EQ(log_.previousInstallPath, Path(L"Install"));
    EXPECT_EQ(log_.previousShortcutPath, L"");   // no such folder
    EXPECT_EQ(log_.previousProduct, L"Tavelo 7.01h");
    EXPECT_EQ(View(log_.previousRecords), (std::vector<RecordView>{{ActionKind::FileInstalled, L"C:\\Caf\u00e9\\Tavelo.exe", true, 1},
                                                                   {ActionKind::DirectXUpdate, L"DirectX", false, -1}}));
}

TEST_F(UninstallLogFileTest, OnlyVersionOneIsRead)
{
    const std::wstring records = L"0000:0101:1 -- C:\\Tavelo.exe\r\n";
    WriteFileBytes(logPath_, Utf16File(L"// Uninstall Log File v2\r\n" + LogText(folder_.path(), folder_.path(), records).substr(26)));
    log_.Read(logPath_);
    EXPECT_TRUE(log_.previousRecords.empty());
    EXPECT_EQ(log_.previousInstallPath, L"");
    EXPECT_EQ(log_.previousProduct, L"");

    // Without its "//" first line the log has no version.
    WriteFileBytes(logPath_, Utf16File(records + LogText(folder_.path(), folder_.path(), records)));
    log_.Read(logPath_);
    EXPECT_TRUE(log_.previousRecords.empty());
    EXPECT_EQ(log_.previousInstallPath, L"");

    // The version may sit anywhere in the first header line, blanks around it.
    WriteFileBytes(logPath_, Utf16File(L"/// \tOld Uninstall Log File v 1 \r\n" + LogText(folder_.path(), folder_.path(), records).substr(26)));
    log_.Read(logPath_);
    EXPECT_EQ(log_.previousRecords.size(), 1u);
    EXPECT_EQ(log_.previousInstallPath, folder_.path());
}

TEST_F(UninstallLogFileTest, HeaderLinesCountOnlyInTheirPlace)
{
    // The "Install" keyword missing from line 3 ends the reading.
    WriteFileBytes(logPath_, Utf16File(kHeader + L"// Tavelo 7.01h\r\n0000:0101:1 -- C:\\T.exe\r\n"));
    log_.Read(logPath_);
    EXPECT_TRUE(log_.previousRecords.empty());
    EXPECT_EQ(log_.previousProduct, L"");

    // A record before the Install Path line moves that line to the place of the Shortcut
    // Path line, whose keyword it lacks: the reading ends there.
    WriteFileBytes(logPath_, Utf16File(kHeader + L"// Install Tavelo\r\n0000:0101:1 -- C:\\T.exe\r\n// Install Path : "
                                       + folder_.path() + L"\r\n0001:0101:1 -- C:\\U.exe\r\n"));
    ActionLog second;
    second.Read(logPath_);
    EXPECT_EQ(View(second.previousRecords), (std::vector<RecordView>{{ActionKind::FileInstalled, L"C:\\T.exe", true, 1}}));
    EXPECT_EQ(second.previousInstallPath, L"");
}

TEST_F(UninstallLogFileTest, KindEightStopsTheReadingAndKeepsTheRecordsBefore)
{
    WriteFileBytes(logPath_, Utf16File(LogText(L"C:\\T", L"C:\\M",
                                               L"0000:00ff:1 -- C:\\A\r\n"
                                               L"0001:07ff:1 -- DirectX\r\n"
                                               L"0002:0800:1 -- C:\\B\r\n"
                                               L"0003:0101:1 -- C:\\C\r\n")));
    log_.Read(logPath_);
    EXPECT_EQ(View(log_.previousRecords), (std::vector<RecordView>{{ActionKind::FolderCreated, L"C:\\A", true, -1},
                                                                   {ActionKind::DirectXUpdate, L"DirectX", true, -1}}));
}

TEST_F(UninstallLogFileTest, MalformedRecordLinesStopTheReading)
{
    for (const wchar_t* bad : {L"-001:0101:1 -- C:\\X", L"0001;0101:1 -- C:\\X", L"0001:0101:2 -- C:\\X",
                               L"0001:0101:1 - C:\\X", L"0001:0101:1 --C:\\X", L"0001:zz01:1 -- C:\\X",
                               L"0001:0101", L"0001:-101:1 -- C:\\X", L":0101:1 -- C:\\X"}) {
        ActionLog reader;
        WriteFileBytes(logPath_, Utf16File(LogText(L"C:\\T", L"C:\\M", L"0000:0104:0 -- C:\\A\r\n" + std::wstring(bad)
                                                                            + L"\r\n0002:0104:1 -- C:\\B\r\n")));
        reader.Read(logPath_);
        EXPECT_EQ(View(reader.previousRecords), (std::vector<RecordView>{{ActionKind::FileInstalled, L"C:\\A", false, 4}}))
            << kv::to_utf8(bad);
    }
}

TEST_F(UninstallLogFileTest, RecordTokensMayBeSpacedAndTheLastLineMayLackItsEnd)
{
    WriteFileBytes(logPath_, Utf16File(LogText(L"C:\\T", L"C:\\M",
                                               L"  12 : 1fe :0 --   C:\\Program Files\\A b \t \r\n"
                                               L"0001:05ff:1 -- HKEY_LOCAL_MACHINE\\Whatever\r\n"
                                               L"0002:0701:1 -- ")));
    log_.Read(logPath_);
    EXPECT_EQ(View(log_.previousRecords), (std::vector<RecordView>{{ActionKind::FileInstalled, L"C:\\Program Files\\A b", false, 254},
                                                                   {ActionKind::UninstallKey, L"", true, -1},
                                                                   {ActionKind::DirectXUpdate, L"", true, 1}}));
}

TEST_F(UninstallLogFileTest, LineLongerThan1022BytesEndsTheReading)
{
    // 494 + 15 units of "0000:0101:1 -- " make 511 units with the line feed: the longest line.
    const std::wstring longest(494, L'x');
    const std::wstring tooLong(495, L'y');
    WriteFileBytes(logPath_, Utf16File(LogText(L"C:\\T", L"C:\\M",
                                               L"0000:0101:1 -- " + longest + L"\r\n"
                                               L"0001:0101:1 -- " + tooLong + L"\r\n"
                                               L"0002:0101:1 -- C:\\After\r\n")));
    log_.Read(logPath_);
    ASSERT_EQ(log_.previousRecords.size(), 1u);
    EXPECT_EQ(log_.previousRecords.front().text, longest);

    // The same limit in bytes for ANSI logs.
    std::string ansi = "// Uninstall Log File v1\r\n//\r\n// Install T\r\n// Install Path : C:\\T\r\n"
                       "// Shortcut Path : C:\\M\r\n// -\r\n";
    ansi += "0000:0101:1 -- " + std::string(1005, 'a') + "\r\n";
    ansi += "0001:0101:1 -- " + std::string(1006, 'b') + "\r\n";
    WriteFileBytes(logPath_, std::vector<std::uint8_t>(ansi.begin(), ansi.end()));
    ActionLog reader;
    reader.Read(logPath_);
    ASSERT_EQ(reader.previousRecords.size(), 1u);
    EXPECT_EQ(reader.previousRecords.front().text, std::wstring(1005, L'a'));
}

TEST_F(UninstallLogFileTest, HeaderFoldersThatNoLongerExistAreIgnored)
{
    WriteFileBytes(logPath_, Utf16File(LogText(Path(L"Gone"), L"  " + folder_.path() + L" ", L"0000:00ff:1 -- C:\\A\r\n")));
    log_.previousInstallPath = L"C:\\Before";
    log_.Read(logPath_);
    EXPECT_EQ(log_.previousInstallPath, L"");
    EXPECT_EQ(log_.previousShortcutPath, folder_.path());
    EXPECT_EQ(log_.previousRecords.size(), 1u);
}

TEST_F(UninstallLogFileTest, OddByteAtTheEndOfAUtf16LogIsDropped)
{
    std::vector<std::uint8_t> bytes = Utf16File(LogText(L"C:\\T", L"C:\\M", L"0000:00ff:1 -- C:\\A"));
    bytes.push_back('B');
    WriteFileBytes(logPath_, bytes);
    log_.Read(logPath_);
    EXPECT_EQ(View(log_.previousRecords), (std::vector<RecordView>{{ActionKind::FolderCreated, L"C:\\A", true, -1}}));
}

} // namespace
