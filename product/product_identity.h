// The build constants that name the installed product and its maker, and the product code
// that yields its registry name.
#pragma once

// The maker and how to reach it: the About box shows them (resources/dialogs.rc includes this
// header) and the uninstall entry writes them, so that both always agree.
#define TAVELO_MAKER_NAME "Korvane"
#define TAVELO_MAKER_WEB_SITE "https://www.korvane.example/"
#define TAVELO_MAKER_TELEPHONE "+33 9 00 00 10 00"

#ifndef RC_INVOKED

#include <cstdint>
#include <string>

// The system's list of installed programs, below HKEY_LOCAL_MACHINE; the product's entry is
// the subkey named by its registry name.
inline constexpr wchar_t kUninstallKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace product {

inline constexpr wchar_t kName[] = L"Tavelo";
inline constexpr wchar_t kVersionText[] = L"7.01j";
inline constexpr std::uint64_t kFileVersion = 0x00070001000A0001ull;   // 7.1.10.1
inline constexpr wchar_t kFileVersionText[] = L"7.1.10.1";
inline constexpr wchar_t kMakerName[] = L"" TAVELO_MAKER_NAME;
inline constexpr wchar_t kMakerWebSite[] = L"" TAVELO_MAKER_WEB_SITE;
inline constexpr wchar_t kMakerTelephone[] = L"" TAVELO_MAKER_TELEPHONE;

// Family in the high byte, major version in the low byte.
inline constexpr std::uint16_t kThisProductCode = 775;

} // namespace product

// The process-wide product code; the application object sets it once at construction.
std::uint16_t ProductCode();
void SetProductCode(std::uint16_t code);

// "Tavelo", or with the version "Tavelo 7.01j".
std::wstring ProductDisplayName(bool withVersion);

// The registry name of a product code ("Tavelo 7" for 775). Throws std::logic_error
// ("logic error") for a code that names no product.
std::wstring ProductRegistryName(std::uint16_t code);

// The registry name of the process's product code.
inline std::wstring ProductRegistryName() { return ProductRegistryName(ProductCode()); }

// The maker's key below HKEY_LOCAL_MACHINE, and the name of its value that holds the
// installed main program's path ("Tavelo 7 Path").
inline constexpr wchar_t kMakerKeyPath[] = L"Software\\Korvane";
inline std::wstring InstallationPathValueName(std::uint16_t code) { return ProductRegistryName(code) + L" Path"; }
inline std::wstring InstallationPathValueName() { return InstallationPathValueName(ProductCode()); }

#endif // RC_INVOKED
