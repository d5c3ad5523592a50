#include "ui/process_locale.h"

#include "support/message_box_answerer.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <gtest/gtest.h>

namespace {

using testing_support::MessageBoxAnswerer;

TEST(ProcessLocale, SetUpSuppressesTheSystemsErrorBoxes)
{
    ::SetErrorMode(0);
    ASSERT_TRUE(SetUpProcessLocale());
    EXPECT_EQ(::GetErrorMode() & 0x8001u, 0x8001u);
}

TEST(ProcessLocale, RunsOncePerProcess)
{
    ::SetErrorMode(0);
    InitializeProcessLocale();
    EXPECT_EQ(::GetErrorMode() & 0x8001u, 0x8001u);
    ::SetErrorMode(0);
    InitializeProcessLocale();
    EXPECT_EQ(::GetErrorMode(), 0u);
}

TEST(ProcessLocale, InitializationErrorIsShownThenTheProcessEndsWithMinusEleven)
{
    std::wstring commandLine = L"\"" + testing_support::BuiltFile(L"TAVELO_INITIALIZATION_ERROR_PROGRAM") + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);

    {
        MessageBoxAnswerer answerer(IDOK, process.dwProcessId);
        ASSERT_TRUE(answerer.WaitForBoxes(1, 60000));
        const auto seen = answerer.Seen();
        EXPECT_EQ(seen[0].text, L"Initialization Error");
        EXPECT_EQ(seen[0].caption, L"Error");
        EXPECT_EQ(seen[0].owner, nullptr);
        // The icon belongs to the other process: its presence is what can be seen from here.
        EXPECT_NE(seen[0].icon, nullptr);
    }
    ASSERT_EQ(::WaitForSingleObject(processHandle.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeProcess(processHandle.get(), &exitCode));
    EXPECT_EQ(static_cast<int>(exitCode), -11);
}

} // namespace
