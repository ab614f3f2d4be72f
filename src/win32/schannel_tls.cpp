// Schannel behind the socket's TLS: credentials, the handshake loop, the certificate checks
// the system's chain engine makes for us, and records in and out.
#include "win32/schannel_tls.h"

// The newer credentials need the define, and UNICODE_STRING before them.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <wincrypt.h>
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "check/connection_security.h"
#include "win32/wide_text.h"

namespace postvane {
namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION;
// The policy's own name check skipped, where we match an address ourselves.
constexpr DWORD kIgnoreNameCheck = 0x00001000;
constexpr DWORD kProtocolsBelowTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", value);
  return text;
}

std::string StatusText(SECURITY_STATUS status) {
  std::string text = SystemErrorText(static_cast<unsigned long>(status));
  return text.empty() ? Hex(static_cast<unsigned long>(status))
                      : text + " (" + Hex(static_cast<unsigned long>(status)) + ")";
}

// Short names as OpenSSL prints them, so that both builds describe a certificate alike.
std::string AttributeName(const char* oid) {
  static constexpr std::array<std::pair<const char*, const char*>, 8> kNames{{
      {szOID_COMMON_NAME, "CN"},
      {szOID_ORGANIZATION_NAME, "O"},
      {szOID_ORGANIZATIONAL_UNIT_NAME, "OU"},
      {szOID_COUNTRY_NAME, "C"},
      {szOID_LOCALITY_NAME, "L"},
      {szOID_STATE_OR_PROVINCE_NAME, "ST"},
      {szOID_RSA_emailAddr, "emailAddress"},
      {szOID_DOMAIN_COMPONENT, "DC"},
  }};
  for (const auto& [known, name] : kNames) {
    if (std::string_view(oid) == known) return name;
  }
  return oid;
}

// "CN=..., O=...": the attributes ordered by their short names (those of one name in the
// certificate's order), as the Linux build lists them.
std::string DistinguishedName(const CERT_NAME_BLOB& blob) {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, blob.pbData, blob.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
    return {};
  }
  std::vector<std::pair<std::string, std::string>> parts;
  for (DWORD r = 0; r < info->cRDN; ++r) {
    for (DWORD a = 0; a < info->rgRDN[r].cRDNAttr; ++a) {
      CERT_RDN_ATTR& attribute = info->rgRDN[r].rgRDNAttr[a];
      const DWORD length = CertRDNValueToStrW(attribute.dwValueType, &attribute.Value, nullptr, 0);
      std::wstring value(length, L'\0');
      CertRDNValueToStrW(attribute.dwValueType, &attribute.Value, value.data(), length);
      value.resize(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
      parts.emplace_back(AttributeName(attribute.pszObjId), Narrow(value));
    }
  }
  LocalFree(info);
  std::stable_sort(parts.begin(), parts.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text;
  for (const auto& [name, value] : parts) {
    if (!text.empty()) text += ", ";
    text += name + "=" + value;
  }
  return text;
}

std::string UtcText(const FILETIME& time) {
  SYSTEMTIME utc{};
  if (!FileTimeToSystemTime(&time, &utc)) return {};
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u UTC", utc.wYear, utc.wMonth,
                utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
  return text;
}

std::string Sha256(const CERT_CONTEXT& certificate) {
  BYTE hash[32];
  DWORD size = sizeof(hash);
  if (!CryptHashCertificate2(L"SHA256", 0, nullptr, certificate.pbCertEncoded,
                             certificate.cbCertEncoded, hash, &size) ||
      size != sizeof(hash)) {
    return {};
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (BYTE byte : hash) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

TlsCertificate Describe(const CERT_CONTEXT& certificate) {
  TlsCertificate details;
  details.Subject = DistinguishedName(certificate.pCertInfo->Subject);
  details.Issuer = DistinguishedName(certificate.pCertInfo->Issuer);
  details.ValidFrom = UtcText(certificate.pCertInfo->NotBefore);
  details.ValidUntil = UtcText(certificate.pCertInfo->NotAfter);
  details.Fingerprint = Sha256(certificate);
  return details;
}

// The host as an address in digits (4 or 16 bytes), or empty for a name.
std::vector<BYTE> AddressBytes(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&v4);
    return {bytes, bytes + sizeof(v4)};
  }
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, bare.c_str(), &v6) == 1) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&v6);
    return {bytes, bytes + sizeof(v6)};
  }
  return {};
}

// Whether one of the certificate's subjectAltName IP entries is this address. The system's
// SSL policy does not match addresses everywhere, so it is asked without its name check.
bool NamesAddress(const CERT_CONTEXT& certificate, const std::vector<BYTE>& address) {
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate.pCertInfo->cExtension,
                        certificate.pCertInfo->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    if (entry.dwAltNameChoice != CERT_ALT_NAME_IP_ADDRESS) continue;
    found = entry.IPAddress.cbData == address.size() &&
            std::equal(address.begin(), address.end(), entry.IPAddress.pbData);
  }
  LocalFree(names);
  return found;
}

// The chain engine's verdict on the certificate for this host, reduced to what a user can act
// on; the most telling reason wins, as a chain that leads nowhere makes the name and dates moot.
TlsFailure CheckChain(const CERT_CONTEXT& certificate, const std::string& host,
                      std::string& detail) {
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof(parameters);
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, &certificate, nullptr, certificate.hCertStore, &parameters,
                               0, nullptr, &chain)) {
    detail = "no certificate chain: " + SystemErrorText(GetLastError());
    return TlsFailure::Untrusted;
  }
  const std::vector<BYTE> address = AddressBytes(host);
  const bool addressMismatch = !address.empty() && !NamesAddress(certificate, address);
  std::wstring wideHost = Widen(host);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof(ssl);
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = address.empty() ? 0 : kIgnoreNameCheck;
  ssl.pwszServerName = wideHost.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof(policy);
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof(status);
  const BOOL asked =
      CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status);
  const DWORD chainErrors = chain->TrustStatus.dwErrorStatus;
  CertFreeCertificateChain(chain);
  const DWORD policyError = asked ? status.dwError : static_cast<DWORD>(CERT_E_CHAINING);

  constexpr DWORD kTimeErrors = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED;
  const bool expired =
      (chainErrors & kTimeErrors) != 0 || policyError == static_cast<DWORD>(CERT_E_EXPIRED);
  const bool wrongName = addressMismatch || policyError == static_cast<DWORD>(CERT_E_CN_NO_MATCH);
  // A leaf from an unknown authority sent alone gives a partial chain with a policy result of
  // 0: the chain's own status counts as much as the policy's.
  const bool untrusted = (chainErrors & ~kTimeErrors) != 0 ||
                         (policyError != 0 && policyError != static_cast<DWORD>(CERT_E_EXPIRED) &&
                          policyError != static_cast<DWORD>(CERT_E_CN_NO_MATCH));
  if (!untrusted && !expired && !wrongName) return TlsFailure::None;
  detail = "certificate rejected: ";
  detail += policyError != 0 ? SystemErrorText(policyError) + " (" + Hex(policyError) + ")"
                             : "chain status " + Hex(chainErrors);
  if (addressMismatch) detail += "; the certificate does not name " + host;
  if (untrusted) return TlsFailure::Untrusted;
  if (expired) return TlsFailure::Expired;
  return TlsFailure::NameMismatch;
}

std::string CipherName(CtxtHandle& context, const SecPkgContext_ConnectionInfo& connection) {
  SecPkgContext_CipherInfo cipher{};
  cipher.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
  if (QueryContextAttributesW(&context, SECPKG_ATTR_CIPHER_INFO, &cipher) == SEC_E_OK &&
      cipher.szCipherSuite[0] != L'\0') {
    return Narrow(cipher.szCipherSuite);
  }
  // Systems without the suite's name give the algorithm and its strength.
  switch (connection.aiCipher) {
    case CALG_AES_128:
    case CALG_AES_256:
    case CALG_AES:
      return "AES-" + std::to_string(connection.dwCipherStrength);
    default:
      return "cipher " + Hex(connection.aiCipher) + "-" +
             std::to_string(connection.dwCipherStrength);
  }
}

}  // namespace

SchannelTls::~SchannelTls() {
  if (haveContext_) DeleteSecurityContext(&context_);
  if (haveCredentials_) FreeCredentialsHandle(&credentials_);
}

SchannelTls::Step SchannelTls::Fail(const char* what, SECURITY_STATUS status) {
  failure_ = std::string(what) + ": " + StatusText(status);
  return Step::Failed;
}

bool SchannelTls::AcquireCredentials() {
  wchar_t package[] = UNISP_NAME_W;
  constexpr DWORD kFlags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  // The newer form first: it is the one that allows TLS 1.3 where the system has it.
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = kProtocolsBelowTls12;
  SCH_CREDENTIALS modern{};
  modern.dwVersion = SCH_CREDENTIALS_VERSION;
  modern.dwFlags = kFlags;
  modern.cTlsParameters = 1;
  modern.pTlsParameters = &parameters;
  TimeStamp expiry{};
  SECURITY_STATUS status =
      AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &modern, nullptr,
                                nullptr, &credentials_, &expiry);
  if (status != SEC_E_OK) {
    // Systems before Windows 10 1809 know only the older form, and TLS 1.2 at most.
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = kFlags;
    status = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older,
                                       nullptr, nullptr, &credentials_, &expiry);
  }
  if (status != SEC_E_OK) {
    Fail("no TLS credentials", status);
    return false;
  }
  haveCredentials_ = true;
  return true;
}

SchannelTls::Step SchannelTls::Start(const std::string& hostName, std::string& out) {
  if (!AcquireCredentials()) return Step::Failed;
  host_ = Widen(hostName);
  SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
  ULONG attributes = 0;
  const SECURITY_STATUS status =
      InitializeSecurityContextW(&credentials_, nullptr, host_.data(), kContextFlags, 0, 0, nullptr,
                                 0, &context_, &output, &attributes, nullptr);
  if (status != SEC_I_CONTINUE_NEEDED) return Fail("TLS handshake not started", status);
  haveContext_ = true;
  if (token.pvBuffer != nullptr) {
    out.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    FreeContextBuffer(token.pvBuffer);
  }
  return Step::Continue;
}

SECURITY_STATUS SchannelTls::Continue(std::string& out) {
  // The second buffer comes back as SECBUFFER_EXTRA with bytes not yet consumed: often the
  // first application data, sent with the server's last handshake message.
  SecBuffer input[2] = {
      {static_cast<unsigned long>(inbound_.size()), SECBUFFER_TOKEN, inbound_.data()},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
  SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc output{SECBUFFER_VERSION, 1, &token};
  ULONG attributes = 0;
  const SECURITY_STATUS status =
      InitializeSecurityContextW(&credentials_, &context_, host_.data(), kContextFlags, 0, 0,
                                 &inputDesc, 0, nullptr, &output, &attributes, nullptr);
  if (token.pvBuffer != nullptr) {
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
        (FAILED(status) && (attributes & ISC_RET_EXTENDED_ERROR) != 0)) {
      out.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    }
    FreeContextBuffer(token.pvBuffer);
  }
  if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
  if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer <= inbound_.size()) {
    inbound_.erase(0, inbound_.size() - input[1].cbBuffer);
  } else {
    inbound_.clear();
  }
  return status;
}

SchannelTls::Step SchannelTls::Handshake(const std::string& received, std::string& out) {
  if (!haveContext_ || established_) return Step::Failed;
  inbound_ += received;
  // A server asking for a client certificate once is answered without one.
  bool askedForCertificate = false;
  while (!inbound_.empty()) {
    // Every record starts with its type (change cipher spec, alert, handshake, data): a server
    // that answers in clear text is told at once, not after the time-out it would otherwise
    // take to fill what looks like a record's length.
    const auto type = static_cast<unsigned char>(inbound_.front());
    if (type < 20 || type > 23) {
      failure_ = "TLS handshake failed: the server does not answer in TLS";
      return Step::Failed;
    }
    const SECURITY_STATUS status = Continue(out);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return Step::Continue;
    if (status == SEC_I_CONTINUE_NEEDED) continue;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS && !askedForCertificate) {
      askedForCertificate = true;
      continue;
    }
    if (status != SEC_E_OK) return Fail("TLS handshake failed", status);
    const SECURITY_STATUS sizes =
        QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (sizes != SEC_E_OK) return Fail("TLS record sizes unknown", sizes);
    established_ = true;
    return Step::Done;
  }
  return Step::Continue;
}

TlsHandshake SchannelTls::Verify(const TlsRequest& request) {
  TlsHandshake result;
  SecPkgContext_ConnectionInfo connection{};
  if (QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &connection) != SEC_E_OK) {
    result.Failure = TlsFailure::Handshake;
    result.Detail = "TLS protocol unknown";
    return result;
  }
  if ((connection.dwProtocol & SP_PROT_TLS1_3) != 0) {
    result.Protocol = "TLSv1.3";
  } else if ((connection.dwProtocol & SP_PROT_TLS1_2) != 0) {
    result.Protocol = "TLSv1.2";
  } else {
    // Some systems accept a server's older protocol whatever the credentials asked for.
    result.Failure = TlsFailure::Handshake;
    result.Detail =
        "the server offers only a protocol older than TLS 1.2 (" + Hex(connection.dwProtocol) + ")";
    return result;
  }
  result.Cipher = CipherName(context_, connection);

  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr) {
    result.Failure = TlsFailure::Untrusted;
    result.Detail = "the server sent no certificate";
    return result;
  }
  result.Certificate = Describe(*certificate);
  std::string detail;
  const TlsFailure verdict = CheckChain(*certificate, request.HostName, detail);
  CertFreeCertificateContext(certificate);
  if (verdict == TlsFailure::None) return result;
  if (!result.Certificate.Fingerprint.empty() &&
      FingerprintsMatch(request.TrustedFingerprint, result.Certificate.Fingerprint)) {
    result.TrustedByFingerprint = true;
    return result;
  }
  result.Failure = verdict;
  result.Detail = detail;
  return result;
}

bool SchannelTls::Decrypt(const std::string& received, std::string& plain, bool& closed) {
  if (!established_) return false;
  inbound_ += received;
  while (!inbound_.empty()) {
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(inbound_.size()), SECBUFFER_DATA, inbound_.data()},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return true;
    if (status == SEC_I_CONTEXT_EXPIRED) {
      closed = true;
      inbound_.clear();
      return true;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
      failure_ = "TLS record rejected: " + StatusText(status);
      return false;
    }
    std::string extra;
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr) {
        plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      } else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.pvBuffer != nullptr) {
        extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      }
    }
    inbound_ = std::move(extra);
    if (status == SEC_I_RENEGOTIATE) {
      // TLS 1.3 servers send session tickets after the handshake, which Schannel hands back
      // this way; they are taken without a word. A server that wants a new handshake is
      // refused: its certificate would not be checked again.
      std::string answer;
      const SECURITY_STATUS renewed = Continue(answer);
      if (renewed != SEC_E_OK || !answer.empty()) {
        failure_ = "the server asked for a new TLS handshake: " + StatusText(renewed);
        return false;
      }
    }
  }
  return true;
}

bool SchannelTls::Encrypt(const std::string& plain, std::string& out) {
  if (!established_) return false;
  std::size_t at = 0;
  while (at < plain.size()) {
    const std::size_t length = std::min<std::size_t>(plain.size() - at, sizes_.cbMaximumMessage);
    std::string record(sizes_.cbHeader + length + sizes_.cbTrailer, '\0');
    record.replace(sizes_.cbHeader, length, plain, at, length);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {static_cast<unsigned long>(length), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + length},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&context_, 0, &description, 0);
    if (status != SEC_E_OK) {
      failure_ = "TLS record not sealed: " + StatusText(status);
      return false;
    }
    out.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    at += length;
  }
  return true;
}

}  // namespace postvane
