#include "payload/answering_wait.h"

#include "support/unique_resource.h"

#include <exception>
#include <system_error>
#include <thread>

DWORD WaitAnswering(HANDLE handle, InstallView* view)
{
    if (!view)
        return ::WaitForSingleObject(handle, INFINITE);
    for (;;) {
        // Wakes for messages that came since the last look into the queue: the pump empties
        // it, so a view that records its pumps (a run without a window) is not woken again
        // and again by messages that nobody takes.
        const DWORD result = ::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1)
            return result;
        view->PumpMessages();
    }
}

void RunAnswering(InstallView& view, const std::function<void()>& work)
{
    struct Outcome {
        std::exception_ptr error;
        DWORD lastError = ERROR_SUCCESS;
    } outcome;
    const kv::unique_handle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The thread's locale decides how paths compare (the action log's) and how texts are
    // formatted: the worker takes the one the user chose.
    const LCID locale = ::GetThreadLocale();
    std::thread worker;
    if (done) {
        try {
            worker = std::thread([&] {
                ::SetThreadLocale(locale);
                {
                    const kv::com_initialization com;
                    try {
                        work();
                    } catch (...) {
                        outcome.error = std::current_exception();
                    }
                    outcome.lastError = ::GetLastError();
                }
                ::SetEvent(done.get());
            });
        } catch (const std::system_error&) {
            // Without a thread of its own, the call blocks the window as it did before.
        }
    }
    if (!worker.joinable()) {
        work();
        return;
    }
    WaitAnswering(done.get(), &view);
    worker.join();
    ::SetLastError(outcome.lastError);
    if (outcome.error)
        std::rethrow_exception(outcome.error);
}
