// The offsets of the installer's texts: a text's resource identifier is its language block's
// base plus the offset (LoadText). The offsets are fixed by the string tables of every
// language, so they stay what they are; 116 and 133 hold no text.
#pragma once

// The wizard's caption, buttons and page headings.
inline constexpr int kTextInstaller = 0;               // "Installer"
inline constexpr int kTextOkButton = 1;                // "OK"
inline constexpr int kTextCancel = 2;                  // "Cancel"
inline constexpr int kTextAbout = 3;                   // "About '%1'"
inline constexpr int kTextExit = 4;                    // "Exit"
inline constexpr int kTextBack = 5;                    // "Back"
inline constexpr int kTextNext = 6;                    // "Next"
inline constexpr int kTextInstall = 7;                 // "Install"
inline constexpr int kTextBrowse = 8;                  // "Browse..."
inline constexpr int kTextStartMenu = 9;               // "Start menu"
inline constexpr int kTextFolderSelection = 10;        // "Installation Folder Selection"
inline constexpr int kTextLanguageSelection = 14;      // "Select Installation Langage"
inline constexpr int kTextInstallationMethod = 15;     // "Installation Method"
inline constexpr int kTextQuickInstallation = 16;      // "Quick Installation (Recommended)"
inline constexpr int kTextAdvancedInstallation = 17;   // "Advanced Installation"

// Names the installation gives to what it makes.
inline constexpr int kTextUninstallShortcut = 13;      // "Uninstall %1"
inline constexpr int kTextSamplesFolder = 18;          // "%1 Examples"

// The start page: what was found on the machine, and what the buttons do.
inline constexpr int kTextProductInstallation = 100;   // "'%1' Installation."
inline constexpr int kTextUpdate = 101;                // "Update from '%1' to '%2'."
inline constexpr int kTextAlreadyInstalled = 102;      // "'%1' is already installed."
inline constexpr int kTextNewerInstalled = 103;        // "A more recent Version (%1) is already installed."
inline constexpr int kTextConfirmReinstallation = 104; // "Do you confirm Reinstallation ?"
inline constexpr int kTextContinueOrExit = 105;        // "Click on '%1' to continue or on '%2' to exit Installation."
inline constexpr int kTextContinue = 106;              // "Click on '%1' to continue."
inline constexpr int kTextClickToExit = 107;           // "Click on '%1' to exit Installation."
inline constexpr int kTextClickToInstall = 108;        // "Click on '%1' to start Installation."
inline constexpr int kTextCopyright = 109;             // empty in every language
inline constexpr int kTextConfirmExit = 110;           // "Installation is not complete. ... confirm exit Installation ?"

// The folder and shortcut pages.
inline constexpr int kTextSelectInstallFolder = 111;   // "Select '%1' Installation Folder."
inline constexpr int kTextMenuShortcut = 112;          // "Create a Shortcut in the following Menu:"
inline constexpr int kTextDesktopShortcut = 113;       // "Create a Shortcut on the Desktop."

// The installation's status line and running report.
inline constexpr int kTextOk = 11;                     // "OK"
inline constexpr int kTextFailed = 12;                 // "Failed"
inline constexpr int kTextPreparing = 114;             // "Preparing Installation..."
inline constexpr int kTextCopying = 115;               // "Copying File  %1..."
inline constexpr int kTextShortcuts = 117;             // "Shortcuts Creation..."
inline constexpr int kTextRegistry = 118;              // "Registry Data Writing..."
inline constexpr int kTextInstallationData = 119;      // "Installation Data Writing..."
inline constexpr int kTextInstallationComplete = 120;  // "Installation is complete."
inline constexpr int kTextInstallationFailed = 121;    // "Installation failed (Error Code %1)."
inline constexpr int kTextInstallationOptions = 122;   // "Installation Options"
inline constexpr int kTextInstallFolderOption = 123;   // "Installation Folder: %1."
inline constexpr int kTextMenuShortcutOption = 124;    // "Creating a Shortcut in the Start Menu (Folder %1)."
inline constexpr int kTextDesktopShortcutOption = 125; // "Creating a Shortcut on the Desktop."
inline constexpr int kTextDirectX = 131;               // French only: "Mise à jour de DirectX..."

// Messages of the start-up.
inline constexpr int kTextAdministratorRequired = 126;    // "You should have Administrator Rights ..."
inline constexpr int kTextCloseProduct = 127;             // "You should close '%1' before continuing Installation."
inline constexpr int kTextInstallerInEnglish = 129;       // "'%1' will be installed in the selected Langage, ..."
inline constexpr int kTextJournalUnreadable = 128;        // "The Record of an interrupted Installation cannot be read; ..."
inline constexpr int kTextInterruptionPartlyUndone = 130; // "An interrupted Installation of '%1' has been undone, except for: ..."
inline constexpr int kTextInterruptionUndone = 132;       // "An interrupted Installation of '%1' has been undone."
inline constexpr int kTextJournalUntrusted = 134;         // "The Record of an interrupted Installation does not belong ..."
