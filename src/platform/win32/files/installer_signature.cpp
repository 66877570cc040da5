#include "platform/win32/files/installer_signature.h"
#include "platform/files.h"
#include "platform/win32/code_page_win32.h"

#include <softpub.h>

#include <string>
#include <utility>

#include "platform/win32/failure_texts.h"
#include "platform/win32/files/component_digest.h"
#include "platform/win32/files/wintrust_api.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

namespace vexa {
namespace {

// What the chain the machine built says about the vendor's key and the machine's distrust.
struct ChainFacts {
  bool keyFound = false;    // a certificate of the chain has the pinned key
  bool distrusted = false;  // a certificate of the chain is in the machine's Disallowed store
};

// The machine's store of certificates it distrusts, open for reading; null when it has none.
class DisallowedStore {
 public:
  explicit DisallowedStore(const WinTrustApi& api)
      : api_(api),
        store_(api.CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                 CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG |
                                     CERT_STORE_OPEN_EXISTING_FLAG,
                                 L"Disallowed")) {}
  ~DisallowedStore() {
    if (store_ != nullptr) api_.CertCloseStore(store_, 0);
  }
  DisallowedStore(const DisallowedStore&) = delete;
  DisallowedStore& operator=(const DisallowedStore&) = delete;

  // Looked up by its SHA-1 thumbprint, as the store keys it; one whose thumbprint can't be
  // had counts as distrusted.
  bool Holds(PCCERT_CONTEXT certificate) const {
    if (store_ == nullptr) return false;
    BYTE thumbprint[20];
    DWORD size = sizeof thumbprint;
    if (!api_.CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, thumbprint,
                                                &size)) {
      return true;
    }
    CRYPT_HASH_BLOB hash{size, thumbprint};
    PCCERT_CONTEXT found = api_.CertFindCertificateInStore(
        store_, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &hash, nullptr);
    if (found == nullptr) return false;
    api_.CertFreeCertificateContext(found);
    return true;
  }

 private:
  const WinTrustApi& api_;
  HCERTSTORE store_;
};

// The SHA-256 of the certificate's SubjectPublicKeyInfo in DER, lower-case hexadecimal; empty
// when the system can't encode it. The system encodes the decoded structure again, which in
// DER gives the certificate's own bytes of it.
Text KeySha256(const WinTrustApi& api, PCCERT_CONTEXT certificate, const Text& target) {
  LocalMemory<BYTE*> encoded;
  DWORD size = 0;
  if (!api.CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                               &certificate->pCertInfo->SubjectPublicKeyInfo,
                               CRYPT_ENCODE_ALLOC_FLAG, nullptr, encoded.Out(), &size)) {
    return Text();
  }
  return BytesSha256(encoded.Get(), size, target);
}

// One run of WinVerifyTrust over an open file; its state is released when the object goes.
class Verification {
 public:
  // `target`: the file it is to become, for the texts of failures.
  Verification(HANDLE file, std::wstring path, const Text& target)
      : api_(WinTrust()), path_(std::move(path)), target_(target) {
    fileInfo_.cbStruct = sizeof(fileInfo_);
    fileInfo_.pcwszFilePath = path_.c_str();
    fileInfo_.hFile = file;  // the bytes are read through the handle, not opened again by name
    data_.cbStruct = sizeof(data_);
    data_.dwUIChoice = WTD_UI_NONE;
    // No revocation check asked for beyond what the system's policy for signed programs does.
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &fileInfo_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    result_ = api_.WinVerifyTrust(NoWindow(), &action_, &data_);
  }
  ~Verification() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    api_.WinVerifyTrust(NoWindow(), &action_, &data_);
  }
  Verification(const Verification&) = delete;
  Verification& operator=(const Verification&) = delete;

  LONG result() const { return result_; }

  // The common name on the first signer's certificate; empty when no signer was found.
  Text SignerName() const {
    const CRYPT_PROVIDER_SGNR* signer = Signer();
    if (signer == nullptr) return Text();
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;  // the chain starts with it
    void* commonName = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD size =
        api_.CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    if (size <= 1) return Text();
    std::wstring name(size, L'\0');
    api_.CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), size);
    name.resize(size - 1);
    return FromWide(name);
  }

  // The signer's chain built again by the local machine's chain engine, as of the time the
  // signature was verified for (its time stamp's, else now): only the machine's trusted roots
  // count there. WinVerifyTrust's engine is the user's, which also trusts a root the user put
  // into their own store (CurrentUser\Root), as any unelevated program of theirs can. An
  // HRESULT of the trust kinds, ERROR_SUCCESS when the machine trusts the chain. Revocation is
  // not asked for, as in the verification. Each certificate of the chain is also looked up in
  // the machine's Disallowed store (Windows' chain engine flags them too; Wine's does not) and,
  // with a `keyPin` (64 hexadecimal digits), its key compared with the pin: `facts`.
  LONG MachineChainResult(const Text& keyPin, ChainFacts& facts) const {
    const CRYPT_PROVIDER_SGNR* signer = Signer();
    if (signer == nullptr) return TRUST_E_NOSIGNATURE;
    PCCERT_CONTEXT leaf = signer->pasCertChain[0].pCert;
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    FILETIME asOf = signer->sftVerifyAsOf;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The signature's own certificates (leaf->hCertStore) give the intermediates.
    if (!api_.CertGetCertificateChain(HCCE_LOCAL_MACHINE, leaf, &asOf, leaf->hCertStore,
                                      &parameters, 0, nullptr, &chain)) {
      return CERT_E_CHAINING;
    }
    const DisallowedStore disallowed(api_);
    if (chain->cChain > 0) {
      const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];  // from the leaf to its root
      for (DWORD i = 0; i < simple.cElement; ++i) {
        const PCCERT_CONTEXT certificate = simple.rgpElement[i]->pCertContext;
        if (disallowed.Holds(certificate)) facts.distrusted = true;
        if (!keyPin.empty() &&
            EqualIgnoringAsciiCase(KeySha256(api_, certificate, target_), keyPin))
          facts.keyFound = true;
      }
    }
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    api_.CertFreeCertificateChain(chain);
    if (facts.distrusted || (errors & CERT_TRUST_IS_EXPLICIT_DISTRUST))
      return TRUST_E_EXPLICIT_DISTRUST;
    if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      return CERT_E_UNTRUSTEDROOT;
    if (errors & CERT_TRUST_IS_REVOKED) return CERT_E_REVOKED;
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
    if (errors & (CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC)) return CERT_E_CHAINING;
    return ERROR_SUCCESS;
  }

 private:
  // The first signer, with its certificate; null when there is none.
  const CRYPT_PROVIDER_SGNR* Signer() const {
    CRYPT_PROVIDER_DATA* provider = api_.WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    const CRYPT_PROVIDER_SGNR* signer = api_.WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr) {
      return nullptr;
    }
    return signer;
  }

  // No interactive user: the check never asks anything.
  static HWND NoWindow() { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

  const WinTrustApi& api_;
  std::wstring path_;
  const Text& target_;
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO fileInfo_ = {};
  WINTRUST_DATA data_ = {};
  LONG result_ = 0;
};

// The file's own name, so that the name handed to WinVerifyTrust is that of the bytes it
// reads through the handle (the target still holds the old file).
std::wstring NameOf(HANDLE file, const Text& target) {
  std::wstring name = GrownText([file](wchar_t* buffer, DWORD size) {
    return GetFinalPathNameByHandleW(file, buffer, size, 0);
  });
  if (name.empty()) throw SystemError(GetLastError(), failure::kCannotCheckSignature, target);
  return name;
}

// Why WinVerifyTrust refused the signature, for the common cases in the user's words.
Text TrustProblem(LONG result) {
  switch (static_cast<HRESULT>(result)) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
      return u"文件没有签名";
    case TRUST_E_BAD_DIGEST:
      return u"文件在签名之后被改动过";
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
      return u"签名证书的颁发机构不受信任";
    case CERT_E_EXPIRED:
      return u"签名证书已过期";
    case CERT_E_REVOKED:
      return u"签名证书已被吊销";
    case TRUST_E_EXPLICIT_DISTRUST:
      return u"签名证书已被标记为不可信";
    default:
      return u"签名无法验证：" + SystemMessage(static_cast<DWORD>(result));
  }
}

}  // namespace

void VerifySigner(HANDLE file, const Text& target, const Text& signer) {
  const Verification verification(file, NameOf(file, target), target);
  const Text found = verification.SignerName();
  const bool byKey = signer.rfind(kKeyPinPrefix, 0) == 0;
  ChainFacts facts;
  LONG result = verification.result();
  if (result == ERROR_SUCCESS) {
    result = verification.MachineChainResult(
        byKey ? signer.substr(std::char_traits<char16_t>::length(kKeyPinPrefix)) : Text(), facts);
  }
  const bool vendors = byKey ? facts.keyFound : found == signer;
  if (result == ERROR_SUCCESS && vendors) return;
  Text message = failure::kNotTheVendorsSignature + target + u"（";
  message += found.empty() ? Text(u"未找到签名者") : u"签名者：" + found;
  if (result != ERROR_SUCCESS) message += u"；" + TrustProblem(result);
  if (result == ERROR_SUCCESS && byKey) message += u"；签名证书的公钥不是厂商的";
  // Refused like a component of another digest: fetched once more (from the next site, if
  // any), and a second refusal ends the run.
  Text seen = found.empty() ? Text(u"none") : found;
  if (result != ERROR_SUCCESS)
    seen += u" (0x" + HexText(static_cast<std::uint32_t>(result), 8) + u")";
  throw ContentMismatch(message + u"）", signer, seen, u"signer");
}

}  // namespace vexa
