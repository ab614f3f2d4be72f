// The redirect of a browser sign-in (RFC 8252): a listener on 127.0.0.1 at a port the system
// picks, which hands each request's first line over and sends back the answer it is given.
#pragma once

#include <functional>
#include <string>

namespace postvane {

class LoopbackListener {
 public:
  virtual ~LoopbackListener() = default;
  // Called with a request's first line (without its line end); returns the bytes to answer,
  // after which that connection closes.
  using Handler = std::function<std::string(const std::string& requestLine)>;
  // The port it listens on, or 0 when it cannot. Any earlier listening ends first.
  virtual int Listen(Handler handler) = 0;
  // Stops listening; connections under way are dropped. Never calls the handler again.
  virtual void Close() = 0;
};

}  // namespace postvane
