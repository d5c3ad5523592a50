#include "framework/wait_cursor.h"

namespace {

// Wait cursors alive; they live on the user-interface thread only.
int g_waitCursors = 0;

} // namespace

CWaitCursor::CWaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT)))
{
    ++g_waitCursors;
}

CWaitCursor::~CWaitCursor()
{
    --g_waitCursors;
    ::SetCursor(previous_);
}

void CWaitCursor::Show()
{
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

bool AfxIsWaitCursorShown()
{
    return g_waitCursors > 0;
}
