// tavelo_driver: drives a Windows program step by step from a script read on standard
// input (or from the file named by the only argument), one command a line:
//
//   start PROGRAM [ARGUMENTS]    start the program; it becomes the driven process
//   dialog TITLE-PART            wait for its dialog whose title contains the text; it
//                                becomes the current window
//   text ID                      print the text of the visible control ID
//   click ID                     press the visible button ID (it must be enabled)
//   wait-enabled ID [SECONDS]    wait until control ID is enabled
//   wait-text ID TEXT-PART [SECONDS]  wait until control ID's text contains the text
//   check ID 0|1                 clear or tick check box ID
//   type ID TEXT                 replace the text of edit box ID
//   select ID INDEX              pick item INDEX of combo box ID as the user would
//   items ID                     print the items of combo box ID
//   messagebox [SECONDS]         wait for a message box and print its text
//   answer BUTTON-ID             press a button of the message box
//   screenshot FILE              save the current window as a PNG picture
//   wait-exit [SECONDS]          wait for the program to end and print its exit code
//   # ...                        a comment
//
// Any failed step prints why, ends the driven program and exits with 1.
#include "tools/test_driver/window_driver.h"

#include "support/strings.h"

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

// Everything printed goes out as UTF-8 lines: the wide stream of the C runtime would stop
// at the first character outside the console's code page (the dash of the wizard's title).
void Print(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Print(const std::wstring& line) { Print(kv::to_utf8(line)); }

class Script {
public:
    void Run(std::istream& in)
    {
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#')
                continue;
            Print("> " + line);
            Execute(line.substr(first));
        }
    }

    void Abort()
    {
        if (process_)
            process_->Kill();
    }

private:
    void Execute(const std::string& line)
    {
        std::istringstream words(line);
        std::string command;
        words >> command;
        std::string rest;
        std::getline(words >> std::ws, rest);
        std::istringstream args(rest);

        if (command == "start") {
            const std::wstring text = kv::from_utf8(rest);
            std::wstring program = text, arguments;
            if (!text.empty() && text[0] == L'"') {
                const std::size_t close = text.find(L'"', 1);
                program = text.substr(1, close - 1);
                if (close + 1 < text.size())
                    arguments = text.substr(close + 2);
            } else if (const std::size_t space = text.find(L' '); space != std::wstring::npos) {
                program = text.substr(0, space);
                arguments = text.substr(space + 1);
            }
            process_ = std::make_unique<driver::Process>(driver::Process::Start(program, arguments));
        } else if (command == "dialog") {
            window_ = driver::WaitForDialog(Process().id(), kv::from_utf8(rest));
            if (!window_)
                throw std::runtime_error("no dialog titled \"" + rest + "\" appeared");
            Print(driver::WindowText(window_));
        } else if (command == "text") {
            Print(driver::ControlText(Window(), Id(args)));
        } else if (command == "click") {
            driver::ClickControl(Window(), Id(args));
        } else if (command == "wait-enabled") {
            const int id = Id(args);
            if (!driver::WaitForEnabled(Window(), id, true, Wait(args)))
                throw std::runtime_error("control " + std::to_string(id) + " stayed disabled");
        } else if (command == "wait-text") {
            const int id = Id(args);
            std::string part;
            args >> std::quoted(part);
            const std::wstring wanted = kv::from_utf8(part);
            if (!driver::WaitForText(Window(), id, [&](const std::wstring& t) { return t.find(wanted) != std::wstring::npos; },
                                     Wait(args)))
                throw std::runtime_error("control " + std::to_string(id) + " never showed \"" + part + "\"");
        } else if (command == "check") {
            const int id = Id(args);
            int on = 0;
            args >> on;
            driver::SetChecked(Window(), id, on != 0);
        } else if (command == "type") {
            const int id = Id(args);
            std::string text;
            std::getline(args >> std::ws, text);
            driver::SetEditText(Window(), id, kv::from_utf8(text));
        } else if (command == "select") {
            const int id = Id(args);
            int index = 0;
            args >> index;
            driver::SelectComboItem(Control(id), index);
        } else if (command == "items") {
            for (const std::wstring& item : driver::ComboItems(Control(Id(args))))
                Print(item);
        } else if (command == "messagebox") {
            box_ = driver::WaitForMessageBox(Process().id(), Wait(args));
            if (!box_)
                throw std::runtime_error("no message box appeared");
            Print(driver::MessageBoxText(box_));
        } else if (command == "answer") {
            if (!box_)
                throw std::runtime_error("no message box to answer");
            driver::ClickControl(box_, Id(args));
            box_ = nullptr;
        } else if (command == "screenshot") {
            driver::SaveScreenshot(Window(), kv::from_utf8(rest));
        } else if (command == "wait-exit") {
            const auto code = Process().WaitForExit(Wait(args));
            if (!code)
                throw std::runtime_error("the program did not end");
            Print("exit code " + std::to_string(static_cast<int>(*code)));
        } else {
            throw std::runtime_error("unknown command \"" + command + "\"");
        }
    }

    static int Id(std::istream& args)
    {
        int id = 0;
        if (!(args >> id))
            throw std::runtime_error("a control id is missing");
        return id;
    }

    static driver::milliseconds Wait(std::istream& args)
    {
        double seconds = 0;
        if (args >> seconds)
            return driver::milliseconds(static_cast<long long>(seconds * 1000));
        return driver::kDefaultWait;
    }

    driver::Process& Process()
    {
        if (!process_)
            throw std::runtime_error("no program was started");
        return *process_;
    }

    HWND Window() const
    {
        if (!window_)
            throw std::runtime_error("no dialog was found yet");
        return window_;
    }

    HWND Control(int id) const
    {
        HWND control = driver::FindControl(Window(), id);
        if (!control)
            throw std::runtime_error("no visible control " + std::to_string(id));
        return control;
    }

    std::unique_ptr<driver::Process> process_;
    HWND window_ = nullptr;
    HWND box_ = nullptr;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Script script;
    try {
        if (argc > 1) {
            std::ifstream file(kv::to_utf8(argv[1]));
            if (!file)
                throw std::runtime_error("cannot read the script " + kv::to_utf8(argv[1]));
            script.Run(file);
        } else {
            script.Run(std::cin);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavelo_driver: %s\n", error.what());
        script.Abort();
        return 1;
    }
}
