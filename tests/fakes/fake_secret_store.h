// A keyring in memory: secrets by key; it can be made unavailable (locked or absent).
#pragma once

#include <map>
#include <string>

#include "ports/secret_store.h"

namespace postvane {

class FakeSecretStore : public SecretStore {
 public:
  SecretResult Read(const std::string& key, std::string& secret) override {
    ++Reads;
    if (!Available) return SecretResult::Unavailable;
    const auto found = Secrets.find(key);
    if (found == Secrets.end()) return SecretResult::NotFound;
    secret = found->second;
    return SecretResult::Ok;
  }
  SecretResult Write(const std::string& key, const std::string& secret) override {
    if (!Available) return SecretResult::Unavailable;
    Secrets[key] = secret;
    return SecretResult::Ok;
  }
  SecretResult Remove(const std::string& key) override {
    if (!Available) return SecretResult::Unavailable;
    Secrets.erase(key);
    return SecretResult::Ok;
  }

  std::map<std::string, std::string> Secrets;
  bool Available = true;
  int Reads = 0;
};

}  // namespace postvane
