#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "platform/win32/system_library.h"

// The CNG functions of the components' SHA-256 check. They are taken from the system folder's
// bcrypt.dll at run time, on the first check: the program carries no import of it, and a
// bcrypt.dll placed beside the program is never loaded.
#define VEXA_BCRYPT_FUNCTIONS(F)  \
  F(BCryptOpenAlgorithmProvider)  \
  F(BCryptCloseAlgorithmProvider) \
  F(BCryptCreateHash) F(BCryptHashData) F(BCryptFinishHash) F(BCryptDestroyHash)

namespace vexa {

struct BCryptApi {
  VEXA_BCRYPT_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

// Loads the library on first use and keeps it for the rest of the run. Throws PlatformError
// when it can't be loaded.
const BCryptApi& BCrypt();

}  // namespace vexa
