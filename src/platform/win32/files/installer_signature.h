#pragma once

#include <windows.h>

#include "platform/text.h"

namespace vexa {

// The prefix of a signer named by its key: "sha256:" and 64 hexadecimal digits, the SHA-256
// of a certificate's SubjectPublicKeyInfo (DER), as
//   openssl x509 -in cert.pem -pubkey -noout | openssl pkey -pubin -outform der | sha256sum
// gives it.
inline constexpr char16_t kKeyPinPrefix[] = u"sha256:";

// Checks the Authenticode signature of an open file (read access) with WinVerifyTrust, that
// the signer's chain ends in a root the local machine trusts (not one of the user's own),
// that no certificate of that chain is in the machine's Disallowed store, and that the chain
// is the vendor's: for a `signer` of the key form (kKeyPinPrefix), the signer's certificate or
// one of its chain (the issuing authority a vendor pins keeps its key when the signer's
// certificate is renewed) has that key; otherwise the signer's certificate carries the common
// name `signer`, exactly. Throws PlatformError naming `target` (the file it is to become) and
// the signer found otherwise.
void VerifySigner(HANDLE file, const Text& target, const Text& signer);

}  // namespace vexa
