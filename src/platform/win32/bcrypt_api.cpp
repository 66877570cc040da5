#include "platform/win32/bcrypt_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

BCryptApi Load() {
  const SystemLibrary bcrypt(L"bcrypt.dll");
  BCryptApi api;
  bcrypt.Bind("BCryptOpenAlgorithmProvider", api.BCryptOpenAlgorithmProvider);
  bcrypt.Bind("BCryptCloseAlgorithmProvider", api.BCryptCloseAlgorithmProvider);
  bcrypt.Bind("BCryptCreateHash", api.BCryptCreateHash);
  bcrypt.Bind("BCryptHashData", api.BCryptHashData);
  bcrypt.Bind("BCryptFinishHash", api.BCryptFinishHash);
  bcrypt.Bind("BCryptDestroyHash", api.BCryptDestroyHash);
  bcrypt.Bind("BCryptGenRandom", api.BCryptGenRandom);
  return api;
}

}  // namespace

const BCryptApi& BCrypt() {
  static const BCryptApi api = Load();
  return api;
}

}  // namespace vexa
