#include "tools/test_driver/window_driver.h"

#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

class WindowDriver : public testing::Test {
protected:
    void SetUp() override
    {
        process_ = std::make_unique<driver::Process>(
            driver::Process::Start(testing_support::BuiltFile(L"TAVELO_DRIVER_FIXTURE")));
    }
    void TearDown() override { process_->Kill(); }

    HWND AnswerQuestion(int button)
    {
        HWND box = driver::WaitForMessageBox(process_->id());
        EXPECT_NE(box, nullptr);
        if (!box)
            return nullptr;
        EXPECT_EQ(driver::WindowText(box), L"Driver fixture");
        EXPECT_EQ(driver::MessageBoxText(box), L"Continue with the fixture?");
        EXPECT_EQ(driver::MessageBoxButtons(box), (std::vector<int>{IDYES, IDNO}));
        driver::ClickControl(box, button);
        return box;
    }

    std::unique_ptr<driver::Process> process_;
};

TEST_F(WindowDriver, ReadsAndAnswersAMessageBox)
{
    ASSERT_NE(AnswerQuestion(IDNO), nullptr);
    EXPECT_EQ(process_->WaitForExit(), std::optional<DWORD>(1));
}

TEST_F(WindowDriver, FillsInADialogAndPressesItsButton)
{
    ASSERT_NE(AnswerQuestion(IDYES), nullptr);
    HWND dialog = driver::WaitForDialog(process_->id(), L"Driver fixture");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(driver::FindControl(dialog, 51), nullptr) << "hidden controls are not found";

    driver::SetEditText(dialog, 100, L"hello");
    EXPECT_EQ(driver::ControlText(dialog, 100), L"hello");
    driver::SetChecked(dialog, 101, true);
    EXPECT_TRUE(driver::IsChecked(dialog, 101));

    HWND combo = driver::FindControl(dialog, 102);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(driver::ComboItems(combo), (std::vector<std::wstring>{L"Zero", L"One", L"Two"}));
    driver::SelectComboItem(combo, 2);
    EXPECT_EQ(driver::ComboSelection(combo), 2);
    EXPECT_TRUE(driver::WaitForEnabled(dialog, 1));
    EXPECT_EQ(driver::WindowText(dialog), L"Driver fixture (selection changed)");

    const testing_support::TemporaryFolder folder;
    driver::SaveScreenshot(dialog, folder / L"fixture.png");
    const auto picture = testing_support::ReadFileBytes(folder / L"fixture.png");
    ASSERT_GT(picture.size(), 8u);
    EXPECT_EQ(picture[1], 'P');

    driver::ClickControl(dialog, 1);
    EXPECT_EQ(process_->WaitForExit(), std::optional<DWORD>(1000 + 100 + 20 + 5));
}

TEST_F(WindowDriver, RefusesToPressADisabledButton)
{
    ASSERT_NE(AnswerQuestion(IDYES), nullptr);
    HWND dialog = driver::WaitForDialog(process_->id(), L"Driver fixture");
    ASSERT_NE(dialog, nullptr);
    ::EnableWindow(driver::FindControl(dialog, 1), FALSE);
    EXPECT_FALSE(driver::WaitForEnabled(dialog, 1, true, driver::milliseconds(200)));
    EXPECT_THROW(driver::ClickControl(dialog, 1), std::runtime_error);
}

TEST(DriverScript, RunsAScriptAgainstTheFixture)
{
    const testing_support::TemporaryFolder folder;
    const std::wstring script = folder / L"script.txt";
    const std::string text = "start " + kv::to_utf8(testing_support::BuiltFile(L"TAVELO_DRIVER_FIXTURE")) + "\n"
                             "messagebox\nanswer 6\ndialog Driver fixture\ntype 100 abc\ncheck 101 1\n"
                             "select 102 1\nclick 1\nwait-exit 20\n";
    testing_support::WriteFileBytes(script, std::vector<std::uint8_t>(text.begin(), text.end()));

    const auto driverProcess = driver::Process::Start(testing_support::BuiltFile(L"TAVELO_DRIVER"), L"\"" + script + L"\"");
    EXPECT_EQ(driverProcess.WaitForExit(driver::milliseconds(60000)), std::optional<DWORD>(0));
}

TEST(DriverScript, FailingStepEndsWithOneAndStopsTheProgram)
{
    const testing_support::TemporaryFolder folder;
    const std::wstring script = folder / L"script.txt";
    const std::string text = "start " + kv::to_utf8(testing_support::BuiltFile(L"TAVELO_DRIVER_FIXTURE")) + "\n"
                             "messagebox 10\ntext 100\n";
    testing_support::WriteFileBytes(script, std::vector<std::uint8_t>(text.begin(), text.end()));
    const auto driverProcess = driver::Process::Start(testing_support::BuiltFile(L"TAVELO_DRIVER"), L"\"" + script + L"\"");
    EXPECT_EQ(driverProcess.WaitForExit(driver::milliseconds(90000)), std::optional<DWORD>(1));
}

} // namespace
