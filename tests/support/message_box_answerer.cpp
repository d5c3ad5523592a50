#include "support/message_box_answerer.h"

#include "support/strings.h"

#include <algorithm>

namespace testing_support {

namespace {

// The system's message box keeps its text in a static control with this identifier.
constexpr int kMessageTextId = 0xFFFF;

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM result)
{
    wchar_t className[32] = {};
    ::GetClassNameW(child, className, static_cast<int>(std::size(className)));
    if (_wcsicmp(className, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON
        && ::IsWindowVisible(child)) {
        *reinterpret_cast<HICON*>(result) = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        return FALSE;
    }
    return TRUE;
}

struct Candidates {
    const MessageBoxAnswerer* answerer;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectCandidate(HWND window, LPARAM data)
{
    auto* found = reinterpret_cast<Candidates*>(data);
    if (found->answerer->Belongs(window))
        found->windows.push_back(window);
    return TRUE;
}

} // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int button, DWORD processId)
    : button_(button), threadId_(processId ? 0 : ::GetCurrentThreadId()), processId_(processId),
      watcher_([this] { Watch(); })
{
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    stop_ = true;
    watcher_.join();
}

void MessageBoxAnswerer::OnBox(std::function<void(HWND)> inspect)
{
    std::lock_guard<std::mutex> lock(mutex_);
    inspect_ = std::move(inspect);
}

std::vector<SeenMessageBox> MessageBoxAnswerer::Seen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool MessageBoxAnswerer::WaitForBoxes(std::size_t count, DWORD timeoutMs) const
{
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (Seen().size() < count) {
        if (::GetTickCount64() > end)
            return false;
        ::Sleep(20);
    }
    return true;
}

bool MessageBoxAnswerer::Belongs(HWND window) const
{
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, &process);
    if (processId_ ? process != processId_ : thread != threadId_)
        return false;
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (wcscmp(className, L"#32770") != 0 || !::IsWindowVisible(window))
        return false;
    // Other dialogs give their pictures and fixed labels the id of the text; in a message box
    // the first control with it is the text.
    const HWND text = ::GetDlgItem(window, kMessageTextId);
    const LONG type = ::GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK;
    return text && type != SS_ICON && type != SS_BITMAP;
}

void MessageBoxAnswerer::Watch()
{
    while (!stop_) {
        Candidates candidates{this, {}};
        ::EnumWindows(CollectCandidate, reinterpret_cast<LPARAM>(&candidates));

        for (HWND box : candidates.windows) {
            std::function<void(HWND)> inspect;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (std::find(answered_.begin(), answered_.end(), box) != answered_.end())
                    continue;
                inspect = inspect_;
            }
            SeenMessageBox seen;
            seen.caption = WindowText(box);
            seen.text = WindowText(::GetDlgItem(box, kMessageTextId));
            seen.owner = ::GetWindow(box, GW_OWNER);
            ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.icon));
            if (inspect)
                inspect(box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                answered_.push_back(box);
                seen_.push_back(std::move(seen));
            }
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, button_)));
        }
        ::Sleep(20);
    }
}

void PrintTo(const SeenMessageBox& box, std::ostream* out)
{
    *out << '"' << kv::to_utf8(box.caption) << "\": \"" << kv::to_utf8(box.text) << "\" (owner " << box.owner
         << ", icon " << box.icon << ')';
}

} // namespace testing_support
