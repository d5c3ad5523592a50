// Whether the user running the installer is a member of the built-in Administrators group.
#pragma once

bool IsUserAdministrator();

// The access check on a descriptor that grants Administrators access, used when the
// membership question cannot be asked directly. Any failure counts as "not an administrator".
bool IsUserAdministratorByAccessCheck();
