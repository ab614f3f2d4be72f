// One TLS client session on Schannel (SSPI): the handshake, the checks after it and the record
// layer, over bytes the caller carries to and from the connection. It never touches a socket.
#pragma once

#include <windows.h>
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <security.h>

#include <string>

#include "ports/tls_handshake.h"

namespace postvane {

class SchannelTls {
 public:
  enum class Step { Continue, Done, Failed };

  SchannelTls() = default;
  ~SchannelTls();
  SchannelTls(const SchannelTls&) = delete;
  SchannelTls& operator=(const SchannelTls&) = delete;

  // Begins the handshake for `hostName` (TLS 1.2 or newer); `out` receives the first message.
  Step Start(const std::string& hostName, std::string& out);
  // Bytes that arrived during the handshake; `out` receives what must be sent in answer.
  // Bytes that came after the server's last handshake message stay for Decrypt.
  Step Handshake(const std::string& received, std::string& out);

  // After Done: the protocol (TLS 1.2 or newer), the chain to a trusted root under the SSL
  // policy, the host name (IP addresses matched against the certificate's IP entries), and
  // the certificate's details. A certificate whose SHA-256 is `request.TrustedFingerprint`
  // passes whatever the chain and the name say.
  TlsHandshake Verify(const TlsRequest& request);

  // Appends the plain text of the complete records among `received` (and bytes kept from
  // before) to `plain`; a partial record waits for the rest. `closed` turns true at the
  // server's close_notify. False when the stream is broken or the server starts a new
  // handshake.
  bool Decrypt(const std::string& received, std::string& plain, bool& closed);
  bool Encrypt(const std::string& plain, std::string& out);

  // Schannel's words for the last failure.
  const std::string& FailureText() const { return failure_; }

 private:
  Step Fail(const char* what, SECURITY_STATUS status);
  bool AcquireCredentials();
  // One call of InitializeSecurityContext over the kept bytes.
  SECURITY_STATUS Continue(std::string& out);

  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  bool established_ = false;
  std::wstring host_;
  std::string inbound_;
  SecPkgContext_StreamSizes sizes_{};
  std::string failure_;
};

}  // namespace postvane
