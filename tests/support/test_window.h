// Plain windows for tests that need owners, parents and main windows.
#pragma once

#include <windows.h>

namespace testing_support {

// A window of the system's static class, destroyed with the object.
class TestWindow {
public:
    explicit TestWindow(DWORD style = WS_OVERLAPPEDWINDOW, HWND parentOrOwner = nullptr, DWORD exStyle = 0)
        : window_(::CreateWindowExW(exStyle, L"STATIC", L"test window", style, 10, 10, 200, 120, parentOrOwner,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~TestWindow()
    {
        if (window_)
            ::DestroyWindow(window_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return window_; }

private:
    HWND window_;
};

} // namespace testing_support
