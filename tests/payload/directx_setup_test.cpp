// The DirectX setup, run with the demo product's stand-in library, which the tests steer
// through its environment variables and which records its calls.
#include "payload/directx_setup.h"

#include "support/recording_install_view.h"
#include "support/strings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>
#include <sstream>

using testing_support::RecordingInstallView;
using testing_support::ViewCall;

namespace {

// Sets an environment variable of this process for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

class DirectXSetupTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CopyFileW(testing_support::BuiltFile(L"TAVELO_DEMO_DSETUP").c_str(),
                                (folder_ / L"DSETUP.dll").c_str(), FALSE));
    }

    std::vector<std::string> LoggedCalls() const
    {
        std::ifstream in(log_.c_str());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    testing_support::TemporaryFolder folder_;
    testing_support::TemporaryFolder logFolder_;
    const std::wstring log_ = logFolder_ / L"dsetup.log";
    const ScopedVariable logVariable_{L"TAVELO_DSETUP_LOG", log_};
};

// Notes on which thread the view was asked to pump.
class ThreadNotingView : public RecordingInstallView {
public:
    using RecordingInstallView::RecordingInstallView;
    void PumpMessages() override
    {
        RecordingInstallView::PumpMessages();
        threads.push_back(::GetCurrentThreadId());
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&message);
    }
    std::vector<DWORD> threads;
};

TEST_F(DirectXSetupTest, RunsTheSetupFromItsFolderWithTheRuntimeFlagsOnAThreadOfItsOwn)
{
    DirectXSetup setup(folder_.path());
    ASSERT_TRUE(setup.usable());
    ThreadNotingView view(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xABCDEF)));

    EXPECT_TRUE(setup.Run(view));

    const std::string folder = kv::to_utf8(folder_.path());
    EXPECT_EQ(LoggedCalls(), (std::vector<std::string>{"DirectXSetupGetVersion -> 1", "DirectXSetupSetCallback callback",
                                                       "DirectXSetupW owner=0x00ABCDEF folder=" + folder
                                                           + " flags=0x00010018",
                                                       "callback reason=18 answer=1", "callback reason=18 answer=1",
                                                       "callback reason=18 answer=1", "DirectXSetupW -> 0"}));
    // The library's progress reports come on its own thread: they do not reach the view,
    // which pumps only on the thread it belongs to, when messages come for it.
    EXPECT_EQ(view.calls, (std::vector<ViewCall>(view.threads.size(), ViewCall{ViewCall::Pump})));
    EXPECT_EQ(view.threads, std::vector<DWORD>(view.threads.size(), ::GetCurrentThreadId()));
}

TEST_F(DirectXSetupTest, RestartNeededCountsAsSuccessAnyOtherResultAsFailure)
{
    {
        const ScopedVariable result(L"TAVELO_DSETUP_RESULT", L"1");
        DirectXSetup setup(folder_.path());
        RecordingInstallView view;
        EXPECT_TRUE(setup.Run(view));
    }
    for (const wchar_t* failure : {L"2", L"-1", L"-9"}) {
        const ScopedVariable result(L"TAVELO_DSETUP_RESULT", failure);
        DirectXSetup setup(folder_.path());
        RecordingInstallView view;
        EXPECT_FALSE(setup.Run(view)) << kv::to_utf8(failure);
    }
}

TEST_F(DirectXSetupTest, LibraryOlderThanVersionFourNineRevisionNineHundredThreeIsNotUsable)
{
    const ScopedVariable version(L"TAVELO_DSETUP_VERSION", L"0x00040009");
    {
        const ScopedVariable revision(L"TAVELO_DSETUP_REVISION", L"902");
        EXPECT_FALSE(DirectXSetup(folder_.path()).usable());
    }
    {
        const ScopedVariable revision(L"TAVELO_DSETUP_REVISION", L"903");
        EXPECT_TRUE(DirectXSetup(folder_.path()).usable());
    }
    const ScopedVariable older(L"TAVELO_DSETUP_VERSION", L"0x00040008");
    EXPECT_FALSE(DirectXSetup(folder_.path()).usable());
}

TEST_F(DirectXSetupTest, FailingVersionFunctionMakesItNotUsable)
{
    const ScopedVariable result(L"TAVELO_DSETUP_GETVERSION_RESULT", L"0");
    EXPECT_FALSE(DirectXSetup(folder_.path()).usable());
}

TEST_F(DirectXSetupTest, FolderWithoutTheLibraryOrNoFolderAtAllIsNotUsableAndRunsNothing)
{
    testing_support::TemporaryFolder empty;
    DirectXSetup withoutLibrary(empty.path());
    EXPECT_FALSE(withoutLibrary.usable());
    RecordingInstallView view;
    EXPECT_FALSE(withoutLibrary.Run(view));
    EXPECT_FALSE(DirectXSetup(L"").usable());
    EXPECT_TRUE(LoggedCalls().empty());
}

} // namespace
