// Texts of the framework itself (not of the installer's language blocks): English only.
#pragma once

#include "framework/framework_string_ids.h"

#include <string>

// The framework text with "%1" replaced by the argument.
std::wstring FormatFrameworkText(unsigned id, const std::wstring& argument);
