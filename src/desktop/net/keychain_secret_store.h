// The keyring through QtKeychain (the Secret Service on Linux desktops).
#pragma once

#include "ports/secret_store.h"

namespace postvane {

class KeychainSecretStore : public SecretStore {
 public:
  SecretResult Read(const std::string& key, std::string& secret) override;
  SecretResult Write(const std::string& key, const std::string& secret) override;
  SecretResult Remove(const std::string& key) override;
};

}  // namespace postvane
