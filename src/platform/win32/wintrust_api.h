#pragma once

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

namespace vexa {

// The functions of wintrust.dll and crypt32.dll the signature check uses. They are taken
// from the system folder at run time, on the first check: a program that never checks a
// signature carries no import of either library, and copies placed beside the program are
// never loaded.
struct WinTrustApi {
  decltype(&::WinVerifyTrust) WinVerifyTrust = nullptr;
  decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain = nullptr;
  decltype(&::CertGetNameStringW) CertGetNameStringW = nullptr;
};

// Loads both libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when either can't be loaded.
const WinTrustApi& WinTrust();

}  // namespace vexa
