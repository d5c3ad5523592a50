// Answers the message boxes a test opens: records what each box showed and presses one of its
// buttons, so that a test can call code that shows a modal box.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// What one message box showed.
struct SeenMessageBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    HICON icon = nullptr;    // the icon the box shows; null without one

    bool operator==(const SeenMessageBox&) const = default;
};

// Prints a box in a failed comparison by its texts, owner and icon rather than its bytes.
void PrintTo(const SeenMessageBox& box, std::ostream* out);

// Watches, on a thread of its own, for the message boxes of the thread that creates it (or of
// another process), from construction to destruction.
class MessageBoxAnswerer {
public:
    // button: the command a box is answered with (IDOK, IDCANCEL, IDNO ...). processId: watch
    // the boxes of that process instead of the calling thread's.
    explicit MessageBoxAnswerer(int button, DWORD processId = 0);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // Runs on the watching thread while a box is open, before it is answered.
    void OnBox(std::function<void(HWND box)> inspect);

    std::vector<SeenMessageBox> Seen() const;

    // Waits until count boxes have been answered; false after timeoutMs.
    bool WaitForBoxes(std::size_t count, DWORD timeoutMs) const;

    // Whether a top-level window is a message box this answerer watches.
    bool Belongs(HWND window) const;

private:
    void Watch();

    const int button_;
    const DWORD threadId_;
    const DWORD processId_;
    mutable std::mutex mutex_;
    std::function<void(HWND)> inspect_;
    std::vector<SeenMessageBox> seen_;
    std::vector<HWND> answered_;
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

} // namespace testing_support
