// The installer's visible texts: looked up by offset in the current language.
#pragma once

#include "product/text_ids.h"

#include <windows.h>

#include <string>
#include <vector>

// The string resource of an identifier: from the language state's resource module, else from
// the executable; empty when neither has it.
std::wstring LoadResourceString(UINT id);

// The text identifier that holds an offset's text in the current language: a language
// without installer texts reads English; a text marked "#" (untranslated) falls back to
// English, then to French, the one complete block.
UINT TextIdentifier(int offset);

// The text of an offset in the current language (offsets 0..21 and 100..134); the empty text
// when the identifier has none.
std::wstring LoadText(int offset);

// Substitutes the arguments as the system's message formatter does for a format string: "%1"
// to "%99" insert the argument of that number (the empty text when there is no such
// argument), "%%" gives one percent sign, line breaks stay as they are.
std::wstring FormatTextArguments(const std::wstring& text, const std::vector<std::wstring>& arguments);

template <class... Arguments>
std::wstring FormatText(const std::wstring& text, const Arguments&... arguments)
{
    return FormatTextArguments(text, {std::wstring(arguments)...});
}

// The status line that asks to go on: text 106 with the name of Next (text 6), "Click on
// 'Next' to continue."
std::wstring ContinueStatusText();

// "Installer", or with the product "Installer – Tavelo 7.01j" (text 0, an EN DASH between
// spaces, the product name with its version).
std::wstring InstallerTitle(bool withProduct);
