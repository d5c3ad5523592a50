// What the process does while its global objects are constructed, before the application
// object exists: DLL search hardening, the processor check, the process locale and the
// framework's start (maker folders, common controls, application name, instance counter).
#pragma once

#include "install/named_objects.h"

#include <string>

// Runs the process start once. A framework start that fails shows "Initialization Error"
// and ends the process with -11; a processor without SSE2 ends it with 1.
void RunProcessStart();

// true once the processor has been found to support SSE2.
bool ProcessorCheckPassed();

// The application name shared with the installed product ("Tavelo7"): "ApplicationId" of
// the executable's version resource, else its "ProductName", else the executable's file
// name without folder and extension.
const std::wstring& ApplicationName();

// The counter of running processes of the application name, made by the framework's start.
InstanceCounter& ProcessInstanceCounter();

// The version of comctl32 loaded for this process as major << 16 | minor; 0 when it
// cannot be asked.
DWORD CommonControlsVersion();
