// add-trusted-root.exe FILE.pem: puts a test authority into the machine's trusted roots of the
// (private, throw-away) Wine prefix the TLS tests run in. Exit status 0 when it is there.
// wincrypt.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::cerr << "usage: add-trusted-root FILE.pem\n";
    return 64;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream pem;
  pem << in.rdbuf();
  const std::string text = pem.str();
  DWORD size = 0;
  if (text.empty() ||
      !CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()),
                            CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    std::cerr << "add-trusted-root: no PEM certificate in the file\n";
    return 1;
  }
  std::string der(size, '\0');
  CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER,
                       reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (store == nullptr) {
    std::cerr << "add-trusted-root: the ROOT store cannot be opened\n";
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), size,
      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!added) {
    std::cerr << "add-trusted-root: the certificate was not added (" << GetLastError() << ")\n";
    return 1;
  }
  return 0;
}
