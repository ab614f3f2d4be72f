// The check cycle over the enabled mailboxes and the POP3 dialogue with each server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/program_state.h"
#include "check/clock.h"
#include "check/cycle_hooks.h"
#include "check/socket.h"
#include "check/timer.h"
#include "settings/file_system.h"

namespace postvane {

class CheckEngine : public SocketListener {
 public:
  // Registers itself as the socket's listener and as the tick handler of both timers.
  CheckEngine(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit,
              Clock& clock, FileSystem& files, CycleHooks& hooks);

  // Starts a cycle from mailbox 0; a running cycle is abandoned.
  void mnuCheckNow_Click();
  void CheckNow();

  void OnConnect() override;
  void OnDataArrival() override;
  void OnSocketError(int number, const std::string& description) override;
  void OnSocketClose() override;
  void OnTimeout();
  void OnQuitTimer();

  void WriteReceiveLog(int16_t stateCode, std::string_view text);

  // True while some mailbox's connection or dialogue is under way.
  bool DialogueRunning() const;

 private:
  void ConnectMailbox();
  MailboxRecord& Current();
  void Send(const std::string& line, std::string_view logText);
  void SendQuit();
  void FailWith(int offset);
  void EndMailbox(bool refresh);
  void CloseAndAdvance();

  ProgramState& state_;
  Socket& socket_;
  Timer& timeout_;
  Timer& timerQuit_;
  Clock& clock_;
  FileSystem& files_;
  CycleHooks& hooks_;
};

}  // namespace postvane
