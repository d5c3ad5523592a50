#include "tools/test_driver/window_driver.h"

#include "support/strings.h"
#include "tools/test_driver/png_writer.h"

#include <commctrl.h>

#include <stdexcept>
#include <thread>

namespace driver {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT kAnswerWait = 5000;   // ms a window may take to answer a sent message

std::runtime_error Failure(const std::string& what, HWND root, int id)
{
    return std::runtime_error(what + " (control " + std::to_string(id) + " of \"" + kv::to_utf8(WindowText(root))
                              + "\")");
}

// Repeats the look until it succeeds or the time is over.
template <class Look>
auto Poll(milliseconds wait, Look look) -> decltype(look())
{
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (auto found = look())
            return found;
        if (std::chrono::steady_clock::now() >= end)
            return look();
        std::this_thread::sleep_for(milliseconds(50));
    }
}

LRESULT Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, kAnswerWait, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

// A block of memory inside another process, for messages whose arguments the system does
// not carry across processes (those of the extended combo box).
class RemoteMemory {
public:
    RemoteMemory(HWND window, std::size_t size) : size_(size)
    {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        process_.reset(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        if (!process_)
            throw std::runtime_error("cannot open the driven process");
        address_ = ::VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!address_)
            throw std::runtime_error("cannot allocate memory in the driven process");
    }
    ~RemoteMemory() { ::VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE); }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    void* address() const { return address_; }
    void Write(std::size_t offset, const void* data, std::size_t size) const
    {
        if (offset + size > size_ || !::WriteProcessMemory(process_.get(), static_cast<char*>(address_) + offset,
                                                            data, size, nullptr))
            throw std::runtime_error("cannot write into the driven process");
    }
    void Read(std::size_t offset, void* data, std::size_t size) const
    {
        if (offset + size > size_ || !::ReadProcessMemory(process_.get(), static_cast<char*>(address_) + offset,
                                                           data, size, nullptr))
            throw std::runtime_error("cannot read from the driven process");
    }

private:
    kv::unique_handle process_;
    void* address_ = nullptr;
    std::size_t size_;
};

bool IsExtendedCombo(HWND combo)
{
    return ::lstrcmpiW(ClassName(combo).c_str(), WC_COMBOBOXEXW) == 0;
}

} // namespace

Process Process::Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        throw std::runtime_error("cannot start " + kv::to_utf8(program) + " (error "
                                 + std::to_string(::GetLastError()) + ")");
    kv::unique_handle thread(info.hThread);
    Process process;
    process.process_.reset(info.hProcess);
    process.id_ = info.dwProcessId;
    ::WaitForInputIdle(info.hProcess, 10000);
    return process;
}

bool Process::Running() const
{
    return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(milliseconds wait) const
{
    if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

void Process::Kill() const
{
    if (Running()) {
        ::TerminateProcess(process_.get(), 0xDEAD);
        ::WaitForSingleObject(process_.get(), 10000);
    }
}

namespace {

struct WindowSearch {
    DWORD processId = 0;
    int id = 0;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK FindVisibleControl(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (::GetDlgCtrlID(window) == search->id && ::IsWindowVisible(window)) {
        search->found.push_back(window);
        return FALSE;
    }
    return TRUE;
}

} // namespace

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    WindowSearch search;
    search.processId = processId;
    ::EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test, milliseconds wait)
{
    return Poll(wait, [&]() -> HWND {
        for (HWND window : TopLevelWindows(processId))
            if (test(window))
                return window;
        return nullptr;
    });
}

HWND WaitForDialog(DWORD processId, const std::wstring& titlePart, milliseconds wait)
{
    return WaitForWindow(
        processId,
        [&](HWND window) {
            return ClassName(window) == L"#32770" && WindowText(window).find(titlePart) != std::wstring::npos;
        },
        wait);
}

bool IsMessageBox(HWND window)
{
    if (ClassName(window) != L"#32770")
        return false;
    // Other dialogs give their pictures and fixed labels the same id; in a message box the
    // first control with it is the text.
    const HWND text = ::GetDlgItem(window, kMessageBoxTextId);
    const LONG type = ::GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK;
    return text && ::lstrcmpiW(ClassName(text).c_str(), L"Static") == 0 && type != SS_ICON && type != SS_BITMAP;
}

HWND WaitForMessageBox(DWORD processId, milliseconds wait)
{
    return WaitForWindow(processId, IsMessageBox, wait);
}

std::wstring MessageBoxText(HWND box)
{
    return WindowText(::GetDlgItem(box, kMessageBoxTextId));
}

std::vector<int> MessageBoxButtons(HWND box)
{
    std::vector<int> buttons;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::lstrcmpiW(ClassName(child).c_str(), L"Button") == 0 && ::IsWindowVisible(child))
            buttons.push_back(::GetDlgCtrlID(child));
    return buttons;
}

std::wstring WindowText(HWND window)
{
    if (!window)
        return {};
    const LRESULT length = Send(window, WM_GETTEXTLENGTH);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = L"";
    ::GetClassNameW(window, name, 256);
    return name;
}

bool IsEnabled(HWND window)
{
    return window && ::IsWindowEnabled(window);
}

bool IsVisible(HWND window)
{
    return window && ::IsWindowVisible(window);
}

HWND FindControl(HWND root, int id)
{
    WindowSearch search;
    search.id = id;
    ::EnumChildWindows(root, FindVisibleControl, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

std::wstring ControlText(HWND root, int id)
{
    HWND control = FindControl(root, id);
    if (!control)
        throw Failure("no visible control", root, id);
    return WindowText(control);
}

void Click(HWND button)
{
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

void ClickControl(HWND root, int id)
{
    HWND button = FindControl(root, id);
    if (!button)
        throw Failure("no visible button", root, id);
    if (!::IsWindowEnabled(button))
        throw Failure("the button is disabled", root, id);
    Click(button);
    Settle();
}

bool WaitForEnabled(HWND root, int id, bool enabled, milliseconds wait)
{
    return Poll(wait, [&] { return IsEnabled(FindControl(root, id)) == enabled; });
}

bool WaitForText(HWND root, int id, const std::function<bool(const std::wstring&)>& test, milliseconds wait)
{
    return Poll(wait, [&] {
        HWND control = FindControl(root, id);
        return control && test(WindowText(control));
    });
}

bool IsChecked(HWND root, int id)
{
    HWND control = FindControl(root, id);
    if (!control)
        throw Failure("no visible check box", root, id);
    return Send(control, BM_GETCHECK) == BST_CHECKED;
}

void SetChecked(HWND root, int id, bool checked)
{
    if (IsChecked(root, id) != checked)
        ClickControl(root, id);
}

void SetEditText(HWND root, int id, const std::wstring& text)
{
    HWND control = FindControl(root, id);
    if (!control)
        throw Failure("no visible edit box", root, id);
    Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<std::wstring> ComboItems(HWND combo)
{
    std::vector<std::wstring> items;
    const LRESULT count = Send(combo, CB_GETCOUNT);
    if (!IsExtendedCombo(combo)) {
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(Send(combo, CB_GETLBTEXTLEN, i)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
            items.push_back(text);
        }
        return items;
    }

    // The extended combo box answers CBEM_GETITEMW with pointers into its own process.
    constexpr std::size_t kTextUnits = 260;
    RemoteMemory memory(combo, sizeof(COMBOBOXEXITEMW) + kTextUnits * sizeof(wchar_t));
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory.address()) + sizeof(COMBOBOXEXITEMW));
    for (LRESULT i = 0; i < count; ++i) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = i;
        item.pszText = remoteText;
        item.cchTextMax = kTextUnits;
        memory.Write(0, &item, sizeof item);
        wchar_t text[kTextUnits] = L"";
        if (Send(combo, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.address())))
            memory.Read(sizeof(COMBOBOXEXITEMW), text, sizeof text);
        text[kTextUnits - 1] = L'\0';
        items.emplace_back(text);
    }
    return items;
}

int ComboSelection(HWND combo)
{
    return static_cast<int>(Send(combo, CB_GETCURSEL));
}

void SelectComboItem(HWND combo, int index)
{
    Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    // Posted: the owner's answer to the change may open a message box.
    ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    Settle();
}

void SaveScreenshot(HWND window, const std::wstring& path)
{
    // A window that has just appeared may not have painted all its children yet.
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle();
    RECT rect{};
    if (!::GetWindowRect(window, &rect))
        throw std::runtime_error("no window to picture");
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;

    kv::window_dc screen(nullptr);
    kv::unique_dc memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    kv::unique_gdi_object bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap)
        throw std::runtime_error("cannot picture the window");
    {
        kv::select_object selected(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }

    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
        rgb[i * 3] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4];
    }
    WritePng(path, width, height, rgb);
}

void Settle(milliseconds wait)
{
    std::this_thread::sleep_for(wait);
}

} // namespace driver
