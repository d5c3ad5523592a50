// Blocking calls that the install procedure makes on the window's thread without the window
// ceasing to answer its messages: a system call that takes a second (a shell link saved
// through COM, the DirectX setup library, the product's registration run) would otherwise
// leave the wizard without an answer for that long, and a window that does not answer for
// five seconds is offered to the user to be ended, half installed.
#pragma once

#include "product/install_view.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// Waits until handle is signalled; meanwhile, whenever new messages arrive for this thread,
// lets the view pump them. Without a view, a plain wait. Returns what WaitForSingleObject
// would.
DWORD WaitAnswering(HANDLE handle, InstallView* view);

// Runs work on a short-lived thread of its own, with COM initialised there and this
// thread's locale, and waits for it with WaitAnswering. work's exception and its last
// error value come back to this thread. When no thread can be started, work runs here.
// work must not use this thread's windows: the messages it sends them are answered, but
// the view is this thread's alone.
void RunAnswering(InstallView& view, const std::function<void()>& work);

// RunAnswering for a call with a result.
template <class Call>
auto CallAnswering(InstallView& view, Call&& call) -> std::invoke_result_t<Call&>
{
    using Result = std::invoke_result_t<Call&>;
    if constexpr (std::is_void_v<Result>) {
        RunAnswering(view, [&call] { call(); });
    } else {
        std::optional<Result> result;
        RunAnswering(view, [&call, &result] { result.emplace(call()); });
        return std::move(*result);
    }
}
