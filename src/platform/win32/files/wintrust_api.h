#pragma once

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

#include "platform/win32/system_library.h"

// The functions of wintrust.dll and crypt32.dll the signature check uses. They are taken
// from the system folder at run time, on the first check: a program that never checks a
// signature carries no import of either library, and copies placed beside the program are
// never loaded.
#define VEXA_WINTRUST_FUNCTIONS(F) \
  F(WinVerifyTrust) F(WTHelperProvDataFromStateData) F(WTHelperGetProvSignerFromChain)
#define VEXA_CRYPT32_FUNCTIONS(F)                                                       \
  F(CertGetNameStringW)                                                                 \
  F(CertGetCertificateChain)                                                            \
  F(CertFreeCertificateChain) F(CryptEncodeObjectEx) F(CertOpenStore) F(CertCloseStore) \
      F(CertFindCertificateInStore) F(CertFreeCertificateContext)                       \
          F(CertGetCertificateContextProperty)

namespace vexa {

struct WinTrustApi {
  VEXA_WINTRUST_FUNCTIONS(VEXA_FUNCTION_MEMBER)
  VEXA_CRYPT32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads both libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when either can't be loaded.
const WinTrustApi& WinTrust();

}  // namespace vexa
