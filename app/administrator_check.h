// Whether the user running the installer is a member of the built-in Administrators group.
#pragma once

#include <windows.h>

bool IsUserAdministrator();

// The access check on a descriptor that grants Administrators access, used when the
// membership question cannot be asked directly: it impersonates the process's own user,
// so it answers for the process, never for a thread's impersonation. Any failure counts
// as "not an administrator".
bool IsUserAdministratorByAccessCheck();

// The check's decision for one impersonation token: whether that descriptor lets it read.
// Raises the HRESULT of a failed security call.
bool PassesAdministratorsAccessCheck(HANDLE impersonationToken);
