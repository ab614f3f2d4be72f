// The desktop's default mail client for tests: present or absent, starts recorded.
#pragma once

#include <string>

#include "fakes/call_log.h"
#include "ports/default_mail_client.h"

namespace postvane {

class FakeDefaultMailClient : public DefaultMailClient {
 public:
  explicit FakeDefaultMailClient(CallLog* log = nullptr) : log_(log) {}

  std::string ClientName = "Mail Client";  // empty: the desktop has none
  int Starts = 0;

  std::string Name() override { return ClientName; }
  bool Start() override {
    if (ClientName.empty()) return false;
    ++Starts;
    if (log_ != nullptr) log_->push_back("StartMailClient(" + ClientName + ")");
    return true;
  }

 private:
  CallLog* log_;
};

}  // namespace postvane
