#pragma once

#include <windows.h>

#include <bcrypt.h>

namespace vexa {

// The CNG functions the program uses: the components' SHA-256 check, and the random names of
// the files it places. They are taken from the system folder's bcrypt.dll at run time, on
// first use: the program carries no import of it, and a bcrypt.dll placed beside the program
// is never loaded.
struct BCryptApi {
  decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider = nullptr;
  decltype(&::BCryptCreateHash) BCryptCreateHash = nullptr;
  decltype(&::BCryptHashData) BCryptHashData = nullptr;
  decltype(&::BCryptFinishHash) BCryptFinishHash = nullptr;
  decltype(&::BCryptDestroyHash) BCryptDestroyHash = nullptr;
  decltype(&::BCryptGenRandom) BCryptGenRandom = nullptr;
};

// Loads the library on first use and keeps it for the rest of the run. Throws PlatformError
// when it can't be loaded.
const BCryptApi& BCrypt();

}  // namespace vexa
