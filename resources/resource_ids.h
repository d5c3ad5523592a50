// Identifiers of the installer's resources.
#pragma once

#define IDR_MAINFRAME 128              // application icon
#define IDR_APPLICATION_MANIFEST 1
#define IDR_VERSION 1
