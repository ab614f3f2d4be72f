// CredReadW, CredWriteW and CredDeleteW behind the core's SecretStore.
#include "win32/credential_store.h"

// wincred.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <wincred.h>
// clang-format on

#include "win32/wide_text.h"

namespace postvane {

std::wstring CredentialStore::TargetName(const std::string& key) {
  return L"Postvane/" + Widen(key);
}

SecretResult CredentialStore::Read(const std::string& key, std::string& secret) {
  PCREDENTIALW credential = nullptr;
  const std::wstring target = TargetName(key);
  if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
    return GetLastError() == ERROR_NOT_FOUND ? SecretResult::NotFound : SecretResult::Unavailable;
  }
  secret.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                credential->CredentialBlobSize);
  SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
  CredFree(credential);
  return SecretResult::Ok;
}

SecretResult CredentialStore::Write(const std::string& key, const std::string& secret) {
  // The system's limit for a generic credential's secret.
  if (secret.size() > CRED_MAX_CREDENTIAL_BLOB_SIZE) return SecretResult::Unavailable;
  std::wstring target = TargetName(key);
  std::wstring user = L"Postvane";
  std::string blob = secret;
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = target.data();
  credential.UserName = user.data();
  credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
  credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  const bool written = CredWriteW(&credential, 0) != FALSE;
  SecureZeroMemory(blob.data(), blob.size());
  return written ? SecretResult::Ok : SecretResult::Unavailable;
}

SecretResult CredentialStore::Remove(const std::string& key) {
  const std::wstring target = TargetName(key);
  if (CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0) || GetLastError() == ERROR_NOT_FOUND) {
    return SecretResult::Ok;
  }
  return SecretResult::Unavailable;
}

}  // namespace postvane
