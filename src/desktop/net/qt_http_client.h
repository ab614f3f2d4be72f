// The core's HTTP client over Qt Network: token and discovery requests to OAuth providers.
#pragma once

#include <QNetworkAccessManager>

#include "ports/http_client.h"

namespace postvane {

class QtHttpClient : public HttpClient {
 public:
  // A request with no answer within `timeoutMs` counts as not reached.
  explicit QtHttpClient(int timeoutMs = kDefaultTimeoutMs);

  void PostForm(const std::string& url, const std::string& body, Done done) override;
  void GetJson(const std::string& url, Done done) override;

  static constexpr int kDefaultTimeoutMs = 30000;
  // No provider's answer comes near it; a longer one is refused while it arrives.
  static constexpr qint64 kReplyLimit = 1024 * 1024;

 private:
  void Send(const std::string& url, const std::string* body, Done done);

  QNetworkAccessManager manager_;
  int timeoutMs_;
};

}  // namespace postvane
