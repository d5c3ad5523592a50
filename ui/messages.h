// The installer's message boxes.
#pragma once

#include <windows.h>

#include <string>

// Owner for boxes and dialogs that have no better one: the last active pop-up of the root
// owner of the thread's active window, or else of the thread's first window (in the system's
// order) whose root owner has a caption; null when there is none.
HWND FindOwnerWindow();

// MB_RTLREADING when a box's text reads right to left: when the owner is laid out right to
// left, or, without an owner, when the default language is written right to left. 0 otherwise.
UINT MessageReadingDirection(HWND owner);

// A text or caption argument of ShowMessage: null is the empty text, a numeric identifier
// (MAKEINTRESOURCEW) the string resource of that identifier.
std::wstring MessageString(LPCWSTR textOrIdentifier);

// The caption ShowMessage shows: the given one, or the caption provider's text when it is
// absent or empty; empty (the system's own caption) without either.
std::wstring MessageCaption(LPCWSTR captionOrIdentifier);

// The flags ShowMessage passes to the system: the default icon of the button set when the
// flags name none, and the reading direction of the owner.
UINT MessageFlags(UINT flags, HWND owner);

// The installer's message box. Text and caption are texts or string identifiers; an absent or
// empty caption is the caption provider's text. Owner, modal state and the default icon follow
// the framework's message box; the reading direction follows MessageReadingDirection.
// Returns the button pressed (IDOK, IDCANCEL ...).
int ShowMessage(LPCWSTR text, LPCWSTR caption, UINT flags);

// ShowMessage with ErrorCodeText(code), the caption provider's caption, OK and the
// exclamation mark.
void ShowErrorBox(DWORD code);

// The folder dialog's error box: ErrorText(code, 0) with the system's caption and the
// exclamation mark. Answers false, which keeps the folder dialog open.
bool ShowBrowserError(HWND owner, DWORD code);
