// Installations stopped right after each write of their journal, as a kill or a power cut would
// stop them (no rollback, the journal left on the disk), then undone by the recovery the next
// start of the installer runs; the machine afterwards is compared with the machine before. In a
// Wine prefix of this test's own, on a fresh machine and on one with 7.01h installed.
#include "actionlog/journal.h"
#include "install/install_procedure.h"
#include "installation_test_support.h"
#include "support/recording_install_view.h"
#include "support/test_support.h"
#include "support/wine_detection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

using namespace installation_testing;
using payload_testing::PayloadFile;
using testing::IsEmpty;
using testing_support::RecordingInstallView;

namespace {

// Not a std::exception: nothing in the installation catches it, so the installation stops
// where it is, without its rollback.
struct Stopped {};

constexpr wchar_t kProductUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelo 7";

// A product of six files: the DirectX setup library (temporary), a shared library, a sample,
// the uninstaller, a language library and the main program; on 7.01h it replaces files, keeps
// the shared library and the samples.
std::vector<PayloadFile> SmallProduct()
{
    return {DemoFile(L"DSETUP.dll"), DemoFile(L"Brushes.kvl"), DemoFile(L"Sample 01 - Kitchen.tvp"),
            DemoFile(L"Uninstall.exe"), DemoFile(L"Tavelo.fr.dll"), DemoFile(L"Tavelo.exe")};
}

class InterruptedInstallation : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareInstallerProcess(); }
    void SetUp() override { ASSERT_TRUE(mutex_.try_lock()); }
    void TearDown() override { SetJournalWriteObserver({}); }

    // Stops the installation after its first journal write, then after its second, and so on,
    // each time undoing it with the recovery and comparing the machine with before; ends with
    // the stop after the write that makes the installation final, after which it is installed.
    void StopAfterEveryJournalWrite(PreviousInstallStatus expectedStatus)
    {
        const std::string archive = payload_testing::CompressedPayload(SmallProduct());
        const MachineSnapshot before = SnapshotMachine();
        const testing_support::RegistryKeySnapshot entryBefore =
            testing_support::SnapshotRegistryKey(HKEY_LOCAL_MACHINE, kProductUninstallKey);
        std::size_t undone = 0;
        for (std::size_t stop = 1; stop < 200; ++stop) {
            SCOPED_TRACE(testing::Message() << "stopped after journal write " << stop);
            InstallState state = StartupState();
            ASSERT_EQ(state.previousStatus, expectedStatus);
            RecordingInstallView view;
            bool entryChanged = false;
            SetJournalWriteObserver([&](std::size_t writes) {
                if (writes != stop)
                    return;
                for (const ActionRecord& record : state.actionLog.records)
                    entryChanged = entryChanged || record.kind == ActionKind::UninstallKey;
                // A kill leaves the installation no time to undo anything itself: the records it
                // would roll back on an escaping error are forgotten, and its journal stays.
                state.actionLog.records.clear();
                state.actionLog.journal = nullptr;
                throw Stopped{};
            });
            bool stopped = false;
            try {
                const EmbeddedPayload payload(archive);
                Install(state, view, mutex_);
            } catch (const Stopped&) {
                stopped = true;
            }
            SetJournalWriteObserver({});
            ASSERT_TRUE(stopped) << "the installation ended without writing its journal's final entry";
            ASSERT_TRUE(Exists(InstallationJournalPath()));

            const JournalRecovery recovery = RecoverJournal(InstallationJournalPath());
            EXPECT_FALSE(Exists(InstallationJournalPath()));
            EXPECT_THAT(recovery.notUndone, IsEmpty());
            if (recovery.outcome == JournalRecovery::Completed) {
                // Stopped once it was final: it stays installed, without backups or temporary folder.
                EXPECT_GT(undone, 10u);
                std::printf("%zu stops undone, then the stop after the final entry\n", undone);
                EXPECT_EQ(SnapshotMachine().temporary, before.temporary);
                if (expectedStatus == PreviousInstallStatus::NotInstalled) {
                    EXPECT_THAT(RunUninstaller(Folders().installFolder + L"\\Uninstall.exe"), IsEmpty());
                    EXPECT_THAT(Differences(before, SnapshotMachine()), IsEmpty());
                }
                return;
            }
            EXPECT_EQ(recovery.outcome, JournalRecovery::Undone);
            ++undone;
            if (entryChanged && expectedStatus != PreviousInstallStatus::NotInstalled && testing_support::RunningUnderWine())
                // Wine's RegRestoreKeyW restores nothing: the saved entry is put back here.
                testing_support::RestoreRegistryKey(HKEY_LOCAL_MACHINE, kProductUninstallKey, entryBefore);
            const std::vector<std::wstring> differences = Differences(before, SnapshotMachine());
            EXPECT_THAT(differences, IsEmpty());
            if (!differences.empty())
                return;   // the next stops would start from another machine
        }
        ADD_FAILURE() << "the journal's final entry was never written";
    }

    ApplicationMutex mutex_{L"TaveloInstallationTest"};
};

TEST_F(InterruptedInstallation, FreshMachineIsAsBeforeAfterEveryStop)
{
    StopAfterEveryJournalWrite(PreviousInstallStatus::NotInstalled);
}

TEST_F(InterruptedInstallation, InstalledOlderVersionIsAsBeforeAfterEveryStop)
{
    InstallState older = StartupState();
    RecordingInstallView olderView;
    {
        const EmbeddedPayload payload(payload_testing::CompressedPayload(OlderDemoProduct()));
        ASSERT_TRUE(Install(older, olderView, mutex_));
    }
    ASSERT_TRUE(MarkLogAsWrittenBy701h(Folders().installFolder + L"\\Uninstall.ulog"));
    StopAfterEveryJournalWrite(PreviousInstallStatus::OlderVersion);
}

} // namespace
