#include "platform/win32/files/component_digest.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/win32/failure_texts.h"
#include "platform/files.h"
#include "platform/win32/files/bcrypt_api.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

// The owners of CNG's handles for one computation; the hash goes before its algorithm.
struct Algorithm {
  Algorithm() = default;
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  ~Algorithm() {
    if (handle) BCrypt().BCryptCloseAlgorithmProvider(handle, 0);
  }
  BCRYPT_ALG_HANDLE handle = nullptr;
};

struct Hash {
  Hash() = default;
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  ~Hash() {
    if (handle) BCrypt().BCryptDestroyHash(handle);
  }
  BCRYPT_HASH_HANDLE handle = nullptr;
};

// A failed CNG call: its NTSTATUS, explained from ntdll.dll's messages, where they live.
void CheckStatus(NTSTATUS status, const char* function, const Text& target) {
  if (status >= 0) return;  // success and information statuses
  const auto code = static_cast<DWORD>(status);
  throw PlatformError(failure::kCannotCheckFile + target + u"：" + AsciiText(function) + u" " +
                          SystemMessage(code, GetModuleHandleW(L"ntdll.dll")),
                      code);
}

}  // namespace

Text FileSha256(HANDLE file, const Text& target) {
  const BCryptApi& api = BCrypt();
  Algorithm algorithm;
  CheckStatus(
      api.BCryptOpenAlgorithmProvider(&algorithm.handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
      "BCryptOpenAlgorithmProvider", target);
  Hash hash;
  // No buffer for the hash object: the system allocates it (Windows 7 on).
  CheckStatus(api.BCryptCreateHash(algorithm.handle, &hash.handle, nullptr, 0, nullptr, 0, 0),
              "BCryptCreateHash", target);

  // From the first byte, whatever the writes before left the file pointer at.
  const LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    throw SystemError(GetLastError(), failure::kCannotCheckFile, target);
  }
  std::vector<UCHAR> block(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr)) {
      throw SystemError(GetLastError(), failure::kCannotCheckFile, target);
    }
    if (read == 0) break;
    CheckStatus(api.BCryptHashData(hash.handle, block.data(), read, 0), "BCryptHashData", target);
  }
  UCHAR digest[32];
  CheckStatus(api.BCryptFinishHash(hash.handle, digest, sizeof digest, 0), "BCryptFinishHash",
              target);

  constexpr char16_t kHexDigits[] = u"0123456789abcdef";
  Text hex;
  for (const UCHAR byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 0x0F];
  }
  return hex;
}

FilesWin32::ReplacementCheck Sha256Check(Text name, Text sha256) {
  return [name = std::move(name), sha256 = std::move(sha256)](HANDLE file, const Text& target) {
    Text found = FileSha256(file, target);
    if (found != sha256) {
      throw ContentMismatch(failure::kContentMismatch + name, sha256, std::move(found));
    }
  };
}

}  // namespace vexa
