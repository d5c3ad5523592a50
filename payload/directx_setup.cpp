#include "payload/directx_setup.h"

#include "framework/message_pump.h"
#include "payload/answering_wait.h"
#include "payload/path_tokens.h"

#include <utility>

namespace {

// The setup library's entry points, all standard-call functions.
using GetVersionFunction = INT(WINAPI*)(DWORD* version, DWORD* revision);
using SetupCallback = DWORD(WINAPI*)(DWORD reason, DWORD messageType, LPSTR message, LPSTR name, void* info);
using SetCallbackFunction = INT(WINAPI*)(SetupCallback callback);
using SetupFunction = INT(WINAPI*)(HWND owner, LPWSTR folder, DWORD flags);

constexpr DWORD kProgressReason = 18;   // DSETUP_CB_MSG_PROGRESS
constexpr DWORD kAnswerOk = IDOK;
constexpr INT kSetupSucceeded = 0;
constexpr INT kSetupSucceededRestart = 1;

// The view of the setup that is running and the thread that owns it; the library's
// callback carries no context.
InstallView* runningView = nullptr;
DWORD viewThread = 0;

DWORD WINAPI SetupProgress(DWORD reason, DWORD, LPSTR, LPSTR, void*)
{
    if (reason != kProgressReason || !runningView)
        return kAnswerOk;
    if (::GetCurrentThreadId() == viewThread) {
        runningView->PumpMessages();
        return kAnswerOk;
    }
    // On the setup's own thread, while the view's thread answers the wizard's messages: the
    // windows the library may have made on this thread get theirs.
    AfxPumpWaitingMessages();
    return kAnswerOk;
}

template <class Function>
Function EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(::GetProcAddress(module, name));
}

} // namespace

DirectXSetup::DirectXSetup(std::wstring folder) : folder_(std::move(folder))
{
    // Without a folder the name alone would make the system search for a library of that
    // name elsewhere.
    if (folder_.empty())
        return;
    // File names are compared without regard to case: this finds the extracted DSETUP.dll.
    const std::wstring path = JoinPath(folder_, L"DSetup.dll");
    kv::unique_module module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    if (!module)   // a system that does not know the flag
        module.reset(::LoadLibraryExW(path.c_str(), nullptr, 0));
    if (!module)
        return;
    const auto getVersion = EntryPoint<GetVersionFunction>(module.get(), "DirectXSetupGetVersion");
    DWORD version = 0;
    DWORD revision = 0;
    if (!getVersion || !getVersion(&version, &revision) || version < kLowestVersion || revision < kLowestRevision)
        return;
    module_ = std::move(module);
}

bool DirectXSetup::Run(InstallView& view)
{
    if (!module_)
        return false;
    const auto setCallback = EntryPoint<SetCallbackFunction>(module_.get(), "DirectXSetupSetCallback");
    const auto setup = EntryPoint<SetupFunction>(module_.get(), "DirectXSetupW");
    if (!setCallback || !setup)
        return false;

    struct RunningView {
        explicit RunningView(InstallView& view)
            : previous(std::exchange(runningView, &view)), previousThread(std::exchange(viewThread, ::GetCurrentThreadId()))
        {
        }
        ~RunningView()
        {
            runningView = previous;
            viewThread = previousThread;
        }
        InstallView* previous;
        DWORD previousThread;
    } running(view);
    setCallback(SetupProgress);
    std::wstring folder = folder_;   // the library takes a writable string
    const HWND owner = view.OwnerWindow();
    // The library works for a second or more between its progress reports: it runs on a
    // thread of its own while this one answers the wizard's messages.
    const INT result = CallAnswering(view, [&] { return setup(owner, folder.data(), kSetupFlags); });
    return result == kSetupSucceeded || result == kSetupSucceededRestart;
}
