// A check engine wired to fakes, with the program state laid out as start-up leaves it.
#pragma once

#include <string>
#include <vector>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_cycle_hooks.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_socket.h"
#include "fakes/fake_timer.h"
#include "settings/program_paths.h"

namespace postvane {

// A TOP reply for message n whose header block passes kHeaderBufferLimit: From first, a
// Subject line that starts past kKeptHeaderBytes, and padding lines around it.
inline std::string HugeHeaderReply(int n) {
  const std::string pad = "X-Pad: " + std::string(1000, 'p') + "\r\n";
  std::string reply = "+OK\r\nFrom: sender" + std::to_string(n) + "\r\n";
  while (reply.size() < kKeptHeaderBytes + 100) reply += pad;
  reply += "Subject: past the kept part\r\n";
  while (reply.size() < kHeaderBufferLimit + 200 * 1000) reply += pad;
  return reply + "\r\n.\r\n";
}

struct CheckEngineRig {
  ProgramState State;
  FakeSocket Socket;
  FakeTimer Timeout{kConnectTimeoutMs};
  FakeTimer TimerQuit{kQuitWaitMs};
  FakeClock Clock;
  FakeFileSystem Files;
  FakeCycleHooks Hooks;
  ReceiveLogTarget LogTarget{State.General.ReceiveLog, State.Paths.ReceiveLog};
  CheckEngine Engine;

  explicit CheckEngineRig(ConnectFailurePolicy policy = ConnectFailurePolicy::RestUntilNextCycle)
      : Engine(State, Socket, Timeout, TimerQuit, Clock, Files, Hooks, LogTarget, policy) {
    State.Paths = MakeProgramPaths("pv");
    for (int i = 0; i < kUserMailboxes; ++i) Box(i).Headers.resize(1);
  }

  MailboxRecord& Box(int index) { return State.Mailboxes[static_cast<std::size_t>(index)]; }

  // An enabled mailbox with host "pop<index>.test", port 110 + index, user "user<index>".
  MailboxRecord& Enable(int index) {
    MailboxRecord& box = Box(index);
    box.Enabled = kTrue;
    box.Name = "Box " + std::to_string(index);
    box.RemoteHost = "pop" + std::to_string(index) + ".test";
    box.RemotePort = 110 + index;
    box.User = "user" + std::to_string(index);
    box.Password = "secret" + std::to_string(index);
    return box;
  }

  void LogOn() { State.General.ReceiveLog = kTrue; }
  std::string Log() const { return Files.Content(State.Paths.ReceiveLog); }

  // Lines sent so far, without their CR LF.
  std::vector<std::string> SentLines() const {
    std::vector<std::string> lines;
    for (const std::string& bytes : Socket.Sent) {
      std::string line = bytes;
      if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
        line.resize(line.size() - 2);
      }
      lines.push_back(line);
    }
    return lines;
  }

  // Starts a cycle and lets the current mailbox connect: it then waits for the greeting.
  void StartAndConnect() {
    Engine.StartCycle();
    Socket.RaiseConnect();
  }

  // Feeds accepted replies from the greeting on until the current mailbox is in `target`
  // (3 to 7). STAT reports `messages` messages; LAST is answered with "+OK 0".
  void DriveTo(MailboxState target, int messages = 0) {
    const std::string stat = "+OK " + std::to_string(messages) + " 1000\r\n";
    const std::vector<std::string> replies = {"+OK ready\r\n", "+OK user\r\n", "+OK pass\r\n", stat,
                                              "+OK 0\r\n"};
    for (const std::string& reply : replies) {
      const MailboxRecord& box = State.Mailboxes[static_cast<std::size_t>(State.CurrentMailbox)];
      if (box.State == target) return;
      Socket.Receive(reply);
    }
  }
};

}  // namespace postvane
