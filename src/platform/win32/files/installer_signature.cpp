#include "platform/win32/files/installer_signature.h"
#include "platform/win32/code_page_win32.h"

#include <softpub.h>

#include <string>
#include <utility>

#include "platform/win32/failure_texts.h"
#include "platform/win32/files/wintrust_api.h"
#include "platform/win32/system_text.h"
#include "platform/win32/win_error.h"

namespace vexa {
namespace {

// One run of WinVerifyTrust over an open file; its state is released when the object goes.
class Verification {
 public:
  Verification(HANDLE file, std::wstring path) : api_(WinTrust()), path_(std::move(path)) {
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
  // not asked for, as in the verification.
  LONG MachineChainResult() const {
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
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    api_.CertFreeCertificateChain(chain);
    if (errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
      return CERT_E_UNTRUSTEDROOT;
    if (errors & CERT_TRUST_IS_EXPLICIT_DISTRUST) return TRUST_E_EXPLICIT_DISTRUST;
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
  const Verification verification(file, NameOf(file, target));
  const Text found = verification.SignerName();
  LONG result = verification.result();
  if (result == ERROR_SUCCESS) result = verification.MachineChainResult();
  if (result == ERROR_SUCCESS && found == signer) return;
  Text message = failure::kNotTheVendorsSignature + target + u"（";
  message += found.empty() ? Text(u"未找到签名者") : u"签名者：" + found;
  if (result != ERROR_SUCCESS) message += u"；" + TrustProblem(result);
  throw PlatformError(message + u"）", static_cast<std::uint32_t>(result));
}

}  // namespace vexa
