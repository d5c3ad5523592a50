// Identifiers of the framework's own prompt strings (resources/framework_strings.rc). Error
// codes of the installer's own kind can name them (ErrorCodeText).
#pragma once

#define AFX_IDP_COMMAND_FAILURE 0xF109     // 61705 "Command failed."
#define AFX_IDP_PARSE_STRING_SIZE 0xF113   // 61715 "Enter no more than %1 characters."
