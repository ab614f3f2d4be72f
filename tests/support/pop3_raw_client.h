// A blocking POP3 client on 127.0.0.1 for tests and benchmarks: holds a session open, or
// runs the same commands as the check engine without it.
#pragma once

#include <cstdint>
#include <string>

namespace postvane::test {

class Pop3RawClient {
 public:
  Pop3RawClient() = default;
  ~Pop3RawClient();
  Pop3RawClient(const Pop3RawClient&) = delete;
  Pop3RawClient& operator=(const Pop3RawClient&) = delete;

  bool Connect(uint16_t port);
  // One reply line with its CR LF; empty on time-out, error or close.
  std::string ReadLine();
  // A multi-line reply up to and including CR LF "." CR LF, or a single "-ERR" line.
  std::string ReadMultiLine();
  bool SendLine(const std::string& line);
  // SendLine + ReadLine.
  std::string Command(const std::string& line);
  void Close();

  // How long a read may wait for the server.
  int TimeoutMs = 15000;

 private:
  bool Fill();

  int fd_ = -1;
  std::string pending_;
};

}  // namespace postvane::test
