// The wizard's dialog templates as the built installer holds them: sizes, control ids,
// kinds, styles, places and the order of the controls (their tab and z-order).
#include "support/installer_module.h"
#include "support/strings.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Control {
    int id = 0;
    std::wstring kind;   // class name, or the name of a predefined class
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring text;   // "#n" for a resource ordinal
};

struct Template {
    DWORD style = 0;
    DWORD exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<Control> controls;
};

// Reads a DLGTEMPLATEEX.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    Template Read()
    {
        Template read;
        Word();   // version
        if (Word() != 0xFFFF)
            throw std::runtime_error("not an extended dialog template");
        Dword();   // help id
        read.exStyle = Dword();
        read.style = Dword();
        const WORD count = Word();
        Word();
        Word();
        read.cx = static_cast<short>(Word());
        read.cy = static_cast<short>(Word());
        NameOrOrdinal();   // menu
        NameOrOrdinal();   // class
        read.caption = String();
        if (read.style & DS_SETFONT) {
            read.pointSize = Word();
            Word();
            Word();   // italic, character set
            read.font = String();
        }
        for (WORD i = 0; i < count; ++i) {
            Align();
            Control control;
            Dword();   // help id
            Dword();   // extended style
            control.style = Dword();
            control.x = static_cast<short>(Word());
            control.y = static_cast<short>(Word());
            control.cx = static_cast<short>(Word());
            control.cy = static_cast<short>(Word());
            control.id = static_cast<int>(Dword());
            control.kind = ClassName(NameOrOrdinal());
            control.text = NameOrOrdinal();
            at_ += Word();   // creation data
            read.controls.push_back(control);
        }
        return read;
    }

private:
    WORD Word()
    {
        if (at_ + 2 > size_)
            throw std::runtime_error("template too short");
        WORD value;
        std::memcpy(&value, data_ + at_, 2);
        at_ += 2;
        return value;
    }
    DWORD Dword() { return Word() | (static_cast<DWORD>(Word()) << 16); }
    void Align() { at_ = (at_ + 3) & ~std::size_t(3); }
    std::wstring String()
    {
        std::wstring text;
        for (WORD c = Word(); c; c = Word())
            text += static_cast<wchar_t>(c);
        return text;
    }
    std::wstring NameOrOrdinal()
    {
        WORD first;
        std::memcpy(&first, data_ + at_, 2);
        if (first == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        return String();
    }
    static std::wstring ClassName(const std::wstring& kind)
    {
        static const wchar_t* const predefined[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
        for (int i = 0; i < 6; ++i)
            if (kind == L"#" + std::to_wstring(0x80 + i))
                return predefined[i];
        return kind;
    }

    const BYTE* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class DialogTemplates : public testing::Test {
protected:
    Template Read(int id) const
    {
        const HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!found)
            throw std::runtime_error("no template " + std::to_string(id));
        const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module_.get(), found)));
        return TemplateReader(data, ::SizeofResource(module_.get(), found)).Read();
    }

    const kv::unique_module module_ = testing_support::LoadInstallerResources();
};

struct Expected {
    int id;
    const wchar_t* kind;
    DWORD style;   // bits that must be set
    short x, y, cx, cy;
    DWORD absent = 0;   // bits that must be clear
};

void ExpectControls(const Template& read, const std::vector<Expected>& expected)
{
    ASSERT_EQ(read.controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Control& c = read.controls[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(e.id));
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(::lstrcmpiW(c.kind.c_str(), e.kind), 0) << kv::to_utf8(c.kind);   // class names ignore case
        EXPECT_EQ(c.style & e.style, e.style) << std::hex << c.style;
        EXPECT_EQ(c.style & e.absent, 0u) << std::hex << c.style;
        // The type of a static text or button is a number, not a set of bits.
        const DWORD typeMask = ::lstrcmpiW(e.kind, L"Static") == 0   ? DWORD(SS_TYPEMASK)
                               : ::lstrcmpiW(e.kind, L"Button") == 0 ? DWORD(BS_TYPEMASK)
                                                                     : 0;
        EXPECT_EQ(c.style & typeMask, e.style & typeMask) << std::hex << c.style;
        EXPECT_EQ(c.style & (WS_VISIBLE | WS_CHILD), DWORD(WS_VISIBLE | WS_CHILD));
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
    }
}

// A page: a child dialog without border or caption, in the frame's font.
void ExpectPage(const Template& page, short cx, short cy)
{
    EXPECT_EQ(page.cx, cx);
    EXPECT_EQ(page.cy, cy);
    EXPECT_TRUE(page.style & WS_CHILD);
    EXPECT_TRUE(page.style & DS_CONTROL);
    EXPECT_FALSE(page.style & (WS_BORDER | WS_DLGFRAME | WS_VISIBLE | WS_POPUP));
    EXPECT_EQ(page.font, L"MS Shell Dlg");
    EXPECT_EQ(page.pointSize, 8);
}

constexpr DWORD kStatusLine = SS_LEFT | SS_NOPREFIX;

TEST_F(DialogTemplates, FrameHasItsButtonsThePictureAboveItsBackgroundAndTheLine)
{
    const Template frame = Read(102);
    EXPECT_EQ(frame.cx, 273);
    EXPECT_EQ(frame.cy, 139);
    EXPECT_EQ(frame.style & (WS_CAPTION | WS_SYSMENU | WS_POPUP), DWORD(WS_CAPTION | WS_SYSMENU | WS_POPUP));
    EXPECT_FALSE(frame.style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(frame.exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(frame.font, L"MS Shell Dlg");
    EXPECT_EQ(frame.pointSize, 8);
    ExpectControls(frame, {
                              {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 138, 118, 66, 14},
                              {3, L"Button", WS_TABSTOP, 69, 118, 66, 14},
                              {IDCANCEL, L"Button", WS_TABSTOP, 216, 118, 50, 14},
                              {-1, L"Static", SS_BITMAP, 3, 3, 58, 105},
                              {1005, L"Static", SS_WHITERECT, -3, 0, 67, 112},
                              {1002, L"Static", SS_ETCHEDHORZ, 1, 112, 272, 1},
                          });
    EXPECT_EQ(frame.controls[3].text, L"#137");
    EXPECT_EQ(frame.controls[0].text, L"Next >>");
    EXPECT_EQ(frame.controls[1].text, L"<< Back");
    EXPECT_EQ(frame.controls[2].text, L"Exit");
}

TEST_F(DialogTemplates, AboutBoxShowsTheApplicationIconAndTheTwoLinesTheInstallerFillsIn)
{
    const Template about = Read(100);
    EXPECT_EQ(about.cx, 192);
    EXPECT_EQ(about.cy, 141);
    EXPECT_EQ(about.caption, L"About '%1'");
    bool icon = false, product = false, legal = false, ok = false;
    for (const Control& c : about.controls) {
        icon |= ::lstrcmpiW(c.kind.c_str(), L"Static") == 0 && (c.style & SS_TYPEMASK) == SS_ICON && c.text == L"#128";
        product |= c.id == 1019;
        legal |= c.id == 1020;
        ok |= c.id == IDOK && (c.style & BS_DEFPUSHBUTTON);
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(product);
    EXPECT_TRUE(legal);
    EXPECT_TRUE(ok);
}

// Every page: a child dialog of its size with its controls in tab order.
TEST_F(DialogTemplates, PagesHaveTheirSizeAndControls)
{
    const struct {
        int id;
        short cx, cy;
        std::vector<Expected> controls;
    } pages[] = {
        {132, 251, 84, {   // start
            {1022, L"Static", SS_LEFT, 7, 9, 133, 8},
            {1023, L"ComboBoxEx32", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 145, 7, 99, 130},
            {1020, L"Static", SS_RIGHT | SS_NOPREFIX | WS_DISABLED, 7, 27, 237, 9},
            {1016, L"Static", SS_LEFT | SS_SUNKEN | SS_NOPREFIX, 7, 38, 237, 27},
            {1003, L"Static", kStatusLine, 7, 69, 237, 8},
        }},
        {136, 279, 82, {   // mode
            {1021, L"Button", BS_GROUPBOX, 7, 7, 265, 46},
            {1018, L"Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 21, 249, 8},
            {1019, L"Button", BS_AUTORADIOBUTTON, 14, 36, 249, 8, WS_GROUP},
            {1003, L"Static", kStatusLine, 7, 67, 265, 8},
        }},
        {133, 278, 86, {   // folder
            {1008, L"Button", BS_GROUPBOX, 7, 7, 264, 52},
            {1009, L"Static", SS_LEFT, 16, 23, 245, 8},
            {1007, L"Edit", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 16, 39, 177, 12, ES_READONLY},
            {1006, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 198, 38, 63, 14},
            {1003, L"Static", kStatusLine, 7, 71, 264, 8},
        }},
        {134, 278, 105, {   // shortcut
            {1012, L"Button", BS_GROUPBOX, 7, 7, 264, 52},
            {1011, L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, 16, 23, 245, 8},
            {1007, L"Edit", WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, 16, 39, 177, 12},
            {1006, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 198, 38, 63, 14},
            {1010, L"Button", BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 16, 70, 255, 8},
            {1003, L"Static", kStatusLine, 7, 90, 264, 8},
        }},
        {135, 219, 97, {   // progress
            {1015, L"Edit", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER, 7, 7, 205, 54},
            {1014, L"msctls_progress32", PBS_SMOOTH, 7, 67, 205, 10},
            {1003, L"Static", kStatusLine, 7, 82, 205, 8},
        }},
        {137, 242, 56, {   // end
            {1016, L"Static", SS_LEFT, 7, 7, 228, 27},
            {1003, L"Static", kStatusLine, 7, 41, 228, 8},
        }},
    };
    for (const auto& expected : pages) {
        SCOPED_TRACE("page " + std::to_string(expected.id));
        const Template page = Read(expected.id);
        ExpectPage(page, expected.cx, expected.cy);
        ExpectControls(page, expected.controls);
    }
}

TEST_F(DialogTemplates, SidePictureIsAnEightBitBitmapOf87By171Pixels)
{
    const HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(137), RT_BITMAP);
    ASSERT_NE(found, nullptr);
    BITMAPINFOHEADER header{};
    std::memcpy(&header, ::LockResource(::LoadResource(module_.get(), found)), sizeof header);
    EXPECT_EQ(header.biWidth, 87);
    EXPECT_EQ(header.biHeight, 171);
    EXPECT_EQ(header.biBitCount, 8);
}

} // namespace
