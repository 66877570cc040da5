#pragma once

#include <windows.h>

#include <bcrypt.h>

namespace vexa {

// The CNG functions the components' SHA-256 check uses. They are taken from the system
// folder's bcrypt.dll at run time, on the first check: a build that pins no component carries
// no import of it, and a bcrypt.dll placed beside the program is never loaded.
struct BCryptApi {
  decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider = nullptr;
  decltype(&::BCryptCreateHash) BCryptCreateHash = nullptr;
  decltype(&::BCryptHashData) BCryptHashData = nullptr;
  decltype(&::BCryptFinishHash) BCryptFinishHash = nullptr;
  decltype(&::BCryptDestroyHash) BCryptDestroyHash = nullptr;
};

// Loads the library on first use and keeps it for the rest of the run. Throws PlatformError
// when it can't be loaded.
const BCryptApi& BCrypt();

}  // namespace vexa
