// Identifiers of the framework's own resources (read by the resource compiler too).
#pragma once

#define IDS_FRAMEWORK_TEXT_TOO_LONG 61715   // "Enter no more than %1 characters."
