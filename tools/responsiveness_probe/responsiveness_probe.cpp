// responsiveness_probe: how long the installer's wizard lets a window message wait while
// it works. Windows greys a window that leaves its messages waiting for 5 seconds as "Not
// Responding", and the user may then end it half done; the wizard must answer within
// 100 ms at every moment.
//
//   responsiveness_probe [--payload ARCHIVE] [--interval MS] INSTALLER
//       Starts INSTALLER (with --payload: a copy of it in the temporary folder that carries
//       ARCHIVE as its payload), leads a quick installation through its wizard as a user
//       would (Next, Install, and Next and Exit once the installation has ended) and pings
//       the wizard frame from its first appearance until it closes.
//   responsiveness_probe --attach [--interval MS]
//       Pings the wizard frame of an installer that is running already, until it closes.
//
// A ping is a WM_NULL sent to the frame with SendMessageTimeout every MS milliseconds (20
// by default); its gap is the time until the frame answered it. Prints the number of pings,
// the longest gap and the number of gaps over 100 ms, the 20 longest of them each with the
// time it began (seconds since Install was pressed, or since the frame was found) and the
// status line shown at that time; with INSTALLER also the time the installation took and
// its final status line.
// Exit code 0 when the probe (and the installation it led) ran to its end, else 1.
#include "resources/dialog_ids.h"
#include "support/strings.h"
#include "support/unique_resource.h"
#include "tools/test_driver/window_driver.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kLongGapMs = 100;
constexpr std::size_t kListedGaps = 20;
const wchar_t kWizardTitle[] = L"Tavelo";
const wchar_t kInstalledStatus[] = L"Click on 'Next' to continue.";

void Print(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// The text a window of another process holds, read without sending it a message: a busy
// window must not hold up the probe.
std::wstring HeldText(HWND window)
{
    wchar_t text[512] = L"";
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

// The status line of the page the frame shows, found without sending the frame a message.
HWND VisibleStatusLine(HWND frame)
{
    for (HWND page = ::GetWindow(frame, GW_CHILD); page; page = ::GetWindow(page, GW_HWNDNEXT))
        if (::IsWindowVisible(page))
            if (HWND status = ::GetDlgItem(page, IDC_STATUS))
                return status;
    return nullptr;
}

struct Gap {
    Clock::time_point start;
    double milliseconds = 0;
    std::wstring status;   // the status line when the ping was sent
};

// Pings the frame on a thread of its own from construction until Stop or until the frame
// is gone.
class Pinger {
public:
    Pinger(HWND frame, milliseconds interval) : frame_(frame), interval_(interval), thread_([this] { Run(); }) {}
    ~Pinger() { Stop(); }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    // Times are then told from this moment instead of from the frame's appearance.
    void MarkOrigin(Clock::time_point origin)
    {
        const std::lock_guard lock(mutex_);
        origin_ = origin;
    }

    void Report(const char* originName) const
    {
        const std::lock_guard lock(mutex_);
        const Clock::time_point origin = origin_.value_or(found_);
        auto describe = [&](const Gap& gap) {
            return kv::format(L"%8.0f ms at %+8.2f s  (status: \"%ls\")", gap.milliseconds,
                              Seconds(gap.start - origin), gap.status.c_str());
        };
        Print(kv::to_utf8(kv::format(L"pings: %zu every %lld ms over %.1f s; times are seconds since %hs", pings_,
                                     static_cast<long long>(interval_.count()), Seconds(last_ - found_), originName)));
        if (pings_ == 0)
            return;
        Print("longest gap: " + kv::to_utf8(describe(longest_)));
        Print("gaps over 100 ms: " + std::to_string(longGaps_.size())
              + (longGaps_.size() > kListedGaps ? " (the " + std::to_string(kListedGaps) + " longest listed)" : ""));
        std::vector<Gap> listed = longGaps_;
        if (listed.size() > kListedGaps) {
            std::nth_element(listed.begin(), listed.begin() + kListedGaps, listed.end(),
                             [](const Gap& a, const Gap& b) { return a.milliseconds > b.milliseconds; });
            listed.resize(kListedGaps);
            std::sort(listed.begin(), listed.end(), [](const Gap& a, const Gap& b) { return a.start < b.start; });
        }
        for (const Gap& gap : listed)
            Print("  " + kv::to_utf8(describe(gap)));
    }

private:
    void Run()
    {
        while (!stop_ && ::IsWindow(frame_)) {
            const Clock::time_point sent = Clock::now();
            const std::wstring status = HeldText(VisibleStatusLine(frame_));
            DWORD_PTR answer = 0;
            // No time limit worth the name: the gap is measured to its end however long it is.
            const bool answered =
                ::SendMessageTimeoutW(frame_, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &answer) != 0;
            const Clock::time_point back = Clock::now();
            if (!answered)
                break;   // the frame is gone
            Gap gap{sent, std::chrono::duration<double, std::milli>(back - sent).count(), status};
            {
                const std::lock_guard lock(mutex_);
                ++pings_;
                last_ = back;
                if (gap.milliseconds > longest_.milliseconds || pings_ == 1)
                    longest_ = gap;
                if (gap.milliseconds > kLongGapMs)
                    longGaps_.push_back(gap);
            }
            std::this_thread::sleep_until(sent + interval_);
        }
    }

    const HWND frame_;
    const milliseconds interval_;
    const Clock::time_point found_ = Clock::now();
    mutable std::mutex mutex_;
    std::optional<Clock::time_point> origin_;
    Clock::time_point last_ = found_;
    std::size_t pings_ = 0;
    Gap longest_;
    std::vector<Gap> longGaps_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR result)
{
    *reinterpret_cast<WORD*>(result) = language;
    return FALSE;
}

// A copy of the installer in the temporary folder with the archive as its payload resource
// (type 260, name 134, in the language the installer has it in).
std::wstring InstallerWithPayload(const std::wstring& installer, const std::wstring& archive)
{
    std::ifstream in(archive.c_str(), std::ios::binary);
    std::string payload((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        throw std::runtime_error("cannot read " + kv::to_utf8(archive));
    if (payload.empty())
        throw std::runtime_error("the archive is empty");

    WORD language = 0;
    {
        const kv::unique_module module(::LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!module)
            throw std::runtime_error("cannot load " + kv::to_utf8(installer));
        ::EnumResourceLanguagesW(module.get(), MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), FirstLanguage,
                                 reinterpret_cast<LONG_PTR>(&language));
    }

    wchar_t temporary[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder = std::wstring(temporary) + L"tavelo-responsiveness-probe";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring copy = folder + L"\\InstallTavelo7.01j.exe";
    if (!::CopyFileW(installer.c_str(), copy.c_str(), FALSE))
        throw std::runtime_error("cannot copy the installer");
    const HANDLE update = ::BeginUpdateResourceW(copy.c_str(), FALSE);
    if (!update)
        throw std::runtime_error("cannot update the copy's resources");
    const bool stored = ::UpdateResourceW(update, MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), language,
                                          payload.data(), static_cast<DWORD>(payload.size()))
                        != FALSE;
    if (!::EndUpdateResourceW(update, !stored) || !stored)
        throw std::runtime_error("cannot give the copy its payload");
    // On the disk before the installer starts: the installer's first flush would otherwise
    // wait for the copy's hundreds of megabytes, which a downloaded installer never makes it do.
    const kv::unique_file written(
        ::CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!written || !::FlushFileBuffers(written.get()))
        throw std::runtime_error("cannot write the copy to the disk");
    return copy;
}

// Presses a button of the wizard once it is enabled.
void Press(HWND frame, int id)
{
    if (!driver::WaitForEnabled(frame, id, true, milliseconds(30000)))
        throw std::runtime_error("button " + std::to_string(id) + " stays disabled");
    driver::ClickControl(frame, id);
}

int Lead(const std::wstring& installer, milliseconds interval)
{
    const driver::Process process = driver::Process::Start(installer);
    const HWND frame = driver::WaitForDialog(process.id(), kWizardTitle, milliseconds(60000));
    if (!frame)
        throw std::runtime_error("the wizard did not appear");
    Pinger pinger(frame, interval);

    Press(frame, IDOK);   // the start page
    Press(frame, IDOK);   // quick installation
    if (!driver::WaitForWindow(process.id(), [&](HWND) { return driver::FindControl(frame, IDC_REPORT) != nullptr; },
                               milliseconds(30000)))
        throw std::runtime_error("the progress page did not appear");
    const HWND install = driver::FindControl(frame, IDOK);
    const HWND exit = driver::FindControl(frame, IDCANCEL);
    const Clock::time_point pressed = Clock::now();
    pinger.MarkOrigin(pressed);
    driver::Click(install);
    // The frame disables Exit while the installation runs and enables it when it ends;
    // both are watched without sending the busy frame a message.
    while (::IsWindowEnabled(exit) && Clock::now() - pressed < milliseconds(10000))
        std::this_thread::sleep_for(milliseconds(5));
    while (!::IsWindowEnabled(exit) && process.Running())
        std::this_thread::sleep_for(milliseconds(20));
    const double took = Seconds(Clock::now() - pressed);
    const std::wstring status = HeldText(VisibleStatusLine(frame));
    const bool installed = status == kInstalledStatus;
    if (installed) {
        Press(frame, IDOK);       // to the final page
        Press(frame, IDCANCEL);   // Exit: no question after a successful installation
        process.WaitForExit(milliseconds(60000));
    }
    pinger.Stop();
    pinger.Report("Install was pressed");
    Print(kv::to_utf8(kv::format(L"installation: %.2f s from Install to its end; status: \"%ls\"", took,
                                 status.c_str())));
    if (!installed)
        process.Kill();
    return installed ? 0 : 1;
}

// The first visible wizard frame: a dialog with the product's name in its title and a Back button.
BOOL CALLBACK FindWizardFrame(HWND window, LPARAM result)
{
    if (!::IsWindowVisible(window) || driver::ClassName(window) != L"#32770"
        || HeldText(window).find(kWizardTitle) == std::wstring::npos || !::GetDlgItem(window, IDC_BACK))
        return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

int Attach(milliseconds interval)
{
    HWND frame = nullptr;
    for (int attempt = 0; attempt < 600 && !frame; ++attempt) {
        ::EnumWindows(FindWizardFrame, reinterpret_cast<LPARAM>(&frame));
        if (!frame)
            std::this_thread::sleep_for(milliseconds(100));
    }
    if (!frame)
        throw std::runtime_error("no wizard frame found within a minute");
    Pinger pinger(frame, interval);
    while (::IsWindow(frame))
        std::this_thread::sleep_for(milliseconds(100));
    pinger.Stop();
    pinger.Report("the frame was found");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        std::wstring payload, installer;
        bool attach = false, wrong = false;
        milliseconds interval(20);
        for (int i = 1; i < argc; ++i) {
            const std::wstring argument = argv[i];
            if (argument == L"--attach")
                attach = true;
            else if (argument == L"--payload" && i + 1 < argc)
                payload = argv[++i];
            else if (argument == L"--interval" && i + 1 < argc)
                interval = milliseconds(std::max(1, _wtoi(argv[++i])));
            else if (installer.empty() && argument.rfind(L"--", 0) != 0)
                installer = argument;
            else
                wrong = true;
        }
        if (wrong || attach == !installer.empty() || (attach && !payload.empty())) {
            std::fprintf(stderr, "usage: responsiveness_probe [--payload ARCHIVE] [--interval MS] INSTALLER\n"
                                 "       responsiveness_probe --attach [--interval MS]\n");
            return 2;
        }
        if (attach)
            return Attach(interval);
        if (!payload.empty()) {
            Print("giving a copy of the installer the payload " + kv::to_utf8(payload));
            installer = InstallerWithPayload(installer, payload);
        }
        return Lead(installer, interval);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "responsiveness_probe: %s\n", error.what());
        return 1;
    }
}
