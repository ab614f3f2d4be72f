// A POP3 server for tests on 127.0.0.1 that plays a script per connection, on its own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace postvane::test {

using Milliseconds = std::chrono::milliseconds;

// The server's side of a TLS handshake.
struct TlsServerSide {
  std::string Certificate;  // PEM files
  std::string Key;
  // Offer only TLS 1.0, as servers that were never updated do.
  bool OnlyTls10 = false;
};

// What the server does on one connection, step by step. When the steps run out the server
// closes the connection, as a POP3 server does after QUIT.
class Pop3Script {
 public:
  struct Step {
    enum class Kind { Expect, Send, Stall, Hold, Drop, Reset, StartTls };
    Kind What = Kind::Send;
    std::string Text;               // Expect: the line without CR LF; Send: the bytes
    std::vector<std::size_t> Cuts;  // Send: positions where the bytes are split
    Milliseconds Pause{0};          // Send: pause between pieces; Stall: how long
    TlsServerSide Tls;              // StartTls
  };

  // Reads one line from the client and compares it with `line` (without CR LF). A different
  // line is recorded as a problem and ends the connection.
  Pop3Script& Expect(std::string line);
  Pop3Script& Send(std::string bytes);
  // Sends the bytes in pieces, cut at the given positions, pausing between the pieces.
  Pop3Script& SendSplit(std::string bytes, std::vector<std::size_t> cuts,
                        Milliseconds pause = Milliseconds(3));
  Pop3Script& SendBytewise(std::string bytes, Milliseconds pause = Milliseconds(1));
  // `count` bytes of every value, the same ones for the same seed.
  Pop3Script& SendGarbage(std::size_t count, uint32_t seed);
  // Says nothing and reads nothing for a while.
  Pop3Script& Stall(Milliseconds duration);
  // Stays connected and silent until the client closes or the server stops.
  Pop3Script& Hold();
  // Closes the connection (FIN) / resets it (RST) at this point.
  Pop3Script& Drop();
  Pop3Script& Reset();
  // Answers the client's TLS handshake; every later step runs over TLS. A failed handshake
  // ends the connection.
  Pop3Script& StartTls(TlsServerSide side);

  // The usual dialogue up to and including the reply to UIDL, for `uids` (message i + 1 has
  // uids[i]) and a LAST reply.
  Pop3Script& LoginThroughUidl(const std::string& user, const std::string& password,
                               const std::vector<std::string>& uids,
                               const std::string& lastReply = "+OK 0\r\n");
  // Greeting, USER, PASS and STAT accepted, LAST answered, then waits for "UIDL" and leaves its
  // reply to the caller.
  Pop3Script& LoginUntilUidl(const std::string& user, const std::string& password,
                             const std::string& statReply,
                             const std::string& lastReply = "+OK 0\r\n");
  // "QUIT" answered with "+OK".
  Pop3Script& Quit();

  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

// A UIDL listing with its status line and terminator.
std::string UidlListing(const std::vector<std::string>& uids);
// A reply to "TOP n 0": status line, the header lines (CR LF each), an empty line, ".".
std::string TopReply(const std::vector<std::string>& headerLines);

class ScriptedPop3Server {
 public:
  // Called with the 0-based number of each accepted connection.
  using ScriptSource = std::function<Pop3Script(int connection)>;

  struct Session {
    uint16_t PeerPort = 0;
    std::vector<std::string> Received;  // lines from the client, without CR LF
    std::string ReceivedInClear;        // every byte read before TLS began
    bool Encrypted = false;             // a handshake succeeded
    bool ClientClosed = false;          // the client closed before the script ended
    std::size_t StepsDone = 0;
  };

  explicit ScriptedPop3Server(ScriptSource scripts);
  ~ScriptedPop3Server();
  ScriptedPop3Server(const ScriptedPop3Server&) = delete;
  ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

  // 0 when the server could not listen.
  uint16_t Port() const { return port_; }
  void Stop();

  std::vector<Session> Sessions() const;
  // Lines that did not match what the script expected, and other surprises.
  std::vector<std::string> Problems() const;

 private:
  void Run();
  struct Connection;
  void Serve(int fd, int index);
  // False when the client closed or the server stops.
  bool ReadLine(Connection& connection, std::string& pending, std::string& line);
  bool SendAll(Connection& connection, const char* data, std::size_t size);
  bool Handshake(Connection& connection, const TlsServerSide& side);
  // Sleeps in small slices; false when the server stops meanwhile.
  bool Sleep(Milliseconds duration);
  void AddProblem(std::string text);

  ScriptSource scripts_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<Session> sessions_;
  std::vector<std::string> problems_;
  std::thread thread_;
};

}  // namespace postvane::test
