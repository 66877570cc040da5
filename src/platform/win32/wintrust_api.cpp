#include "platform/win32/wintrust_api.h"

#include "platform/win32/system_library.h"

namespace vexa {
namespace {

WinTrustApi Load() {
  constexpr wchar_t kWinTrust[] = L"wintrust.dll";
  constexpr wchar_t kCrypt32[] = L"crypt32.dll";
  const HMODULE wintrust = LoadSystemLibrary(kWinTrust);
  const HMODULE crypt32 = LoadSystemLibrary(kCrypt32);
  WinTrustApi api;
  BindFunction(wintrust, kWinTrust, "WinVerifyTrust", api.WinVerifyTrust);
  BindFunction(wintrust, kWinTrust, "WTHelperProvDataFromStateData",
               api.WTHelperProvDataFromStateData);
  BindFunction(wintrust, kWinTrust, "WTHelperGetProvSignerFromChain",
               api.WTHelperGetProvSignerFromChain);
  BindFunction(crypt32, kCrypt32, "CertGetNameStringW", api.CertGetNameStringW);
  return api;
}

}  // namespace

const WinTrustApi& WinTrust() {
  static const WinTrustApi api = Load();
  return api;
}

}  // namespace vexa
