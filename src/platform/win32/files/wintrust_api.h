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
// crypt32.dll's: the signer's name and chain, the certificates' keys and thumbprints, the
// machine's Disallowed store.
#define VEXA_CRYPT32_FUNCTIONS(F) \
  VEXA_CRYPT32_CHAIN_FUNCTIONS(F) VEXA_CRYPT32_KEY_FUNCTIONS(F) VEXA_CRYPT32_STORE_FUNCTIONS(F)
#define VEXA_CRYPT32_CHAIN_FUNCTIONS(F) \
  F(CertGetNameStringW) F(CertGetCertificateChain) F(CertFreeCertificateChain)
#define VEXA_CRYPT32_KEY_FUNCTIONS(F) F(CryptEncodeObjectEx) F(CertGetCertificateContextProperty)
#define VEXA_CRYPT32_STORE_FUNCTIONS(F) \
  F(CertOpenStore) F(CertCloseStore) F(CertFindCertificateInStore) F(CertFreeCertificateContext)

namespace vexa {

struct WinTrustApi {
  VEXA_WINTRUST_FUNCTIONS(VEXA_FUNCTION_MEMBER)
  VEXA_CRYPT32_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads both libraries on first use and keeps them for the rest of the run. Throws
// PlatformError when either can't be loaded.
const WinTrustApi& WinTrust();

}  // namespace vexa
