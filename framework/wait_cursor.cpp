#include "framework/wait_cursor.h"

CWaitCursor::CWaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}

CWaitCursor::~CWaitCursor()
{
    ::SetCursor(previous_);
}

void CWaitCursor::Restore() const
{
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}
