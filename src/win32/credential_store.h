// The keyring on Windows: the user's Credential Manager, one generic credential per key.
#pragma once

#include <string>

#include "ports/secret_store.h"

namespace postvane {

// Target names are "Postvane/" + key, the key being the one the Linux keyring uses (the
// settings file and the mailbox); the secret is stored as its UTF-8 bytes, for this user on
// this machine.
class CredentialStore final : public SecretStore {
 public:
  SecretResult Read(const std::string& key, std::string& secret) override;
  SecretResult Write(const std::string& key, const std::string& secret) override;
  SecretResult Remove(const std::string& key) override;

  static std::wstring TargetName(const std::string& key);
};

}  // namespace postvane
