// HTTPS requests to an OAuth provider: a form posted to the token endpoint, a JSON document
// fetched (discovery). Certificates are verified as for the mail servers; plain HTTP goes
// nowhere but 127.0.0.1.
#pragma once

#include <functional>
#include <string>

namespace postvane {

struct HttpReply {
  // False when no answer came: refused, unreachable, refused certificate, time-out.
  bool Reached = false;
  int Status = 0;
  std::string Body;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  using Done = std::function<void(const HttpReply&)>;
  // `done` is called exactly once, later, from the event loop, never from inside the call.
  virtual void PostForm(const std::string& url, const std::string& body, Done done) = 0;
  virtual void GetJson(const std::string& url, Done done) = 0;
};

}  // namespace postvane
