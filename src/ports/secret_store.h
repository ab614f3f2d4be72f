// The desktop's keyring, as the program uses it: a secret per key.
#pragma once

#include <string>

namespace postvane {

enum class SecretResult {
  Ok,
  NotFound,     // the keyring answered, but holds nothing under the key
  Unavailable,  // locked, refused or absent: try again later, never fall back to the file
};

class SecretStore {
 public:
  virtual ~SecretStore() = default;
  virtual SecretResult Read(const std::string& key, std::string& secret) = 0;
  virtual SecretResult Write(const std::string& key, const std::string& secret) = 0;
  // Removing a key that is not there is Ok.
  virtual SecretResult Remove(const std::string& key) = 0;
};

}  // namespace postvane
