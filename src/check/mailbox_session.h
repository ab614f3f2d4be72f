// The dialogue with one server over one connection, whatever its protocol: the check engine
// feeds it what the connection delivers and carries out what it answers. A session is made
// when the connection is asked for and dropped with it, so nothing of an old connection can
// reach the next one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "check/mailbox_outcome.h"
#include "check/mailbox_table.h"
#include "ports/charset_converter.h"
#include "ports/tls_handshake.h"

namespace postvane {

// What a session asks of the engine; every call happens at once, in the session's order.
class SessionOutput {
 public:
  virtual ~SessionOutput() = default;
  // Writes `bytes` in one write. False when the connection was given up during the write: the
  // session must stop there (a log record may still follow).
  virtual bool Write(std::string_view bytes) = 0;
  // Begins the TLS handshake. False when the socket refused to begin it.
  virtual bool StartTls(const TlsRequest& request) = 0;
  // One receive-log record.
  virtual void Log(int16_t code, std::string_view text) = 0;
  // The connection is as secure as the mailbox asks: the connect time-out is over.
  virtual void StopConnectTimeout() = 0;
  // QUIT went out: its reply is waited for a short while. Stop: the reply came.
  virtual void StartQuitWait() = 0;
  virtual void StopQuitWait() = 0;
  // The mailbox is done with this outcome; the connection closes and the cycle moves on. The
  // session must stop there.
  virtual void Finish(const MailboxOutcome& outcome) = 0;
};

// Far above any real reply; a server that sends more ends the listing or header fetch.
inline constexpr std::size_t kUidlBufferLimit = std::size_t{64} * 1024 * 1024;
inline constexpr std::size_t kHeaderBufferLimit = std::size_t{1} * 1024 * 1024;
// What is kept of a header block past kHeaderBufferLimit: its header lines that fit whole.
inline constexpr std::size_t kKeptHeaderBytes = std::size_t{64} * 1024;
// The rest of such a reply is skipped up to this many times the header bound; a reply longer
// still is a flood, and the fetch ends there.
inline constexpr std::size_t kSkippedReplyFactor = 16;

struct SessionSetup {
  MailboxRecord& Record;
  SessionOutput& Output;
  int16_t LanguageBase = 900;
  const CharsetConverter* Charsets = nullptr;
  std::size_t UidlLimit = kUidlBufferLimit;
  std::size_t HeaderLimit = kHeaderBufferLimit;
  // This mailbox's header fetch began on an earlier connection and did not end; the session
  // sets and clears it as its own fetch begins and ends.
  bool& HeaderFetchUnfinished;
};

class MailboxSession {
 public:
  virtual ~MailboxSession() = default;

  // The connection is up.
  virtual void OnConnected() = 0;
  // Bytes as they arrived (already decrypted on a secure connection).
  virtual void OnData(std::string_view bytes) = 0;
  virtual void OnHandshake(const TlsHandshake& result) = 0;
  // The socket would not begin the handshake the session asked for.
  virtual void OnTlsNotStarted() = 0;
  // The connection is not yet as secure as the mailbox asks; the connect time-out covers it.
  virtual bool Securing() const = 0;
  // The connect time-out ran out while Securing().
  virtual void OnSecureTimeout() = 0;
  // The wait for the reply to QUIT is over.
  virtual void OnQuitWaitOver() = 0;

  // What the server said it can do, learnt over TLS; empty otherwise.
  virtual const std::vector<std::string>& ServerCapabilities() const = 0;
  // The collected replies and the message whose header is due, for tests and invariants.
  virtual const std::string& ListingBuffer() const = 0;
  virtual const std::string& HeaderBuffer() const = 0;
  virtual int16_t CurrentMessage() const = 0;
};

// The session for the record's protocol: POP3 or IMAP.
std::unique_ptr<MailboxSession> MakeMailboxSession(const SessionSetup& setup);

}  // namespace postvane
