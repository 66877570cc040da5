#include "platform/win32/wintrust_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

WinTrustApi Load() {
  const SystemLibrary wintrust(L"wintrust.dll");
  const SystemLibrary crypt32(L"crypt32.dll");
  WinTrustApi api;
  wintrust.Bind("WinVerifyTrust", api.WinVerifyTrust);
  wintrust.Bind("WTHelperProvDataFromStateData", api.WTHelperProvDataFromStateData);
  wintrust.Bind("WTHelperGetProvSignerFromChain", api.WTHelperGetProvSignerFromChain);
  crypt32.Bind("CertGetNameStringW", api.CertGetNameStringW);
  return api;
}

}  // namespace

const WinTrustApi& WinTrust() {
  static const WinTrustApi api = Load();
  return api;
}

}  // namespace vexa
