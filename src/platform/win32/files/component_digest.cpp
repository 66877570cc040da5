#include "platform/win32/files/component_digest.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/files/bcrypt_api.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// CNG's handles for one computation; the hash goes before its algorithm.
void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
  BCrypt().BCryptCloseAlgorithmProvider(algorithm, 0);
}
void DestroyHash(BCRYPT_HASH_HANDLE hash) {
  BCrypt().BCryptDestroyHash(hash);
}
using Algorithm = Owned<BCRYPT_ALG_HANDLE, &CloseAlgorithm>;
using Hash = Owned<BCRYPT_HASH_HANDLE, &DestroyHash>;

// A failed CNG call: its NTSTATUS, explained from ntdll.dll's messages, where they live.
void CheckStatus(NTSTATUS status, const char* function, const Text& target) {
  if (status >= 0) return;  // success and information statuses
  const auto code = static_cast<DWORD>(status);
  throw PlatformError(failure::kCannotCheckFile + target + u"：" + AsciiText(function) + u" " +
                          SystemMessage(code, GetModuleHandleW(L"ntdll.dll")),
                      code);
}

// One SHA-256 computation with CNG; its failures name `target`.
class Sha256 {
 public:
  explicit Sha256(const Text& target) : api_(BCrypt()), target_(target) {
    CheckStatus(
        api_.BCryptOpenAlgorithmProvider(algorithm_.Out(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
        "BCryptOpenAlgorithmProvider", target_);
    // No buffer for the hash object: the system allocates it (Windows 7 on).
    CheckStatus(api_.BCryptCreateHash(algorithm_.Get(), hash_.Out(), nullptr, 0, nullptr, 0, 0),
                "BCryptCreateHash", target_);
  }

  void Add(const UCHAR* bytes, ULONG count) {
    CheckStatus(api_.BCryptHashData(hash_.Get(), const_cast<PUCHAR>(bytes), count, 0),
                "BCryptHashData", target_);
  }

  // The digest in lower-case hexadecimal.
  Text Finish() {
    UCHAR digest[32];
    CheckStatus(api_.BCryptFinishHash(hash_.Get(), digest, sizeof digest, 0), "BCryptFinishHash",
                target_);
    return HexBytesText(digest, sizeof digest);
  }

 private:
  const BCryptApi& api_;
  const Text& target_;
  Algorithm algorithm_;  // declared first: the hash goes before its algorithm
  Hash hash_;
};

}  // namespace

Text FileSha256(HANDLE file, const Text& target) {
  Sha256 sha256(target);
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
    sha256.Add(block.data(), read);
  }
  return sha256.Finish();
}

Text BytesSha256(const std::uint8_t* bytes, std::size_t count, const Text& target) {
  Sha256 sha256(target);
  sha256.Add(bytes, static_cast<ULONG>(count));
  return sha256.Finish();
}

void VerifySha256(HANDLE file, const Text& target, const Text& name, const Text& sha256) {
  Text found = FileSha256(file, target);
  if (found != sha256) {
    throw ContentMismatch(failure::kContentMismatch + name, sha256, std::move(found));
  }
}

}  // namespace vexa
