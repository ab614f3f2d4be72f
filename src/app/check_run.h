// One check cycle from start to a definite end, for the command-line check: the tray program's
// engine over the chosen mailboxes, a whole-run deadline, and the acknowledgement afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "check/cycle_hooks.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/socket.h"
#include "ports/timer.h"
#include "settings/settings_store.h"

namespace postvane {

class CheckRun : public CycleHooks {
 public:
  // state.Paths must be set. `deadline` ticks once when the whole run has taken too long.
  CheckRun(ProgramState& state, Socket& socket, Timer& timeout, Timer& timerQuit, Timer& deadline,
           Clock& clock, FileSystem& files, SettingsStore& settings);
  ~CheckRun() override;
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;

  // Called once when the run has ended, by the end of the cycle or by the deadline.
  void SetFinishedHandler(std::function<void()> handler);

  // Loads the settings, switches off for this run every mailbox not in `selected` (empty:
  // keep the enabled ones), then starts the cycle and the deadline. The run may end at once.
  void Start(const std::vector<int16_t>& selected, int16_t languageBase);

  bool Finished() const { return finished_; }
  bool EndedByDeadline() const { return endedByDeadline_; }

  // The mailboxes to report: those given, or the enabled ones, in ascending order.
  const std::vector<int16_t>& Listed() const { return listed_; }

  // After the run: takes over NewestUidl for every checked mailbox with new mail, as a click
  // on the tray icon does. False when a save did not reach the file.
  bool AcknowledgeNewMail();

  void RefreshTray() override {}
  void NotifyNewMail() override;

  void OnDeadline();

 private:
  // The engine's socket, seen through the run: every event the engine handles is followed by
  // AfterEvent, nothing reaches the engine once the run is over, and connect results are kept.
  class RunSocket : public Socket, public SocketListener {
   public:
    RunSocket(Socket& inner, CheckRun& run);
    ~RunSocket() override;

    void SetListener(SocketListener* listener) override { listener_ = listener; }
    void SetLocalPort(int32_t port) override { inner_.SetLocalPort(port); }
    int32_t LocalPort() const override { return inner_.LocalPort(); }
    void SetRemoteHost(const std::string& host) override { inner_.SetRemoteHost(host); }
    void SetRemotePort(int32_t port) override { inner_.SetRemotePort(port); }
    SocketError Connect() override;
    SocketError SendData(const std::string& bytes) override { return inner_.SendData(bytes); }
    bool GetData(std::string& bytes) override { return inner_.GetData(bytes); }
    void Close() override { inner_.Close(); }

    void OnConnect() override;
    void OnDataArrival() override;
    void OnSocketError(int number, const std::string& description) override;
    void OnSocketClose() override;

    const SocketError& LastConnectError() const { return lastConnectError_; }

   private:
    Socket& inner_;
    CheckRun& run_;
    SocketListener* listener_ = nullptr;
    SocketError lastConnectError_;
  };

  // The same for the engine's two timers.
  class RunTimer : public Timer {
   public:
    RunTimer(Timer& inner, CheckRun& run) : inner_(inner), run_(run) {}
    ~RunTimer() override { inner_.SetTickHandler({}); }

    void SetTickHandler(std::function<void()> handler) override;
    void Start() override { inner_.Start(); }
    void Stop() override { inner_.Stop(); }
    bool IsRunning() const override { return inner_.IsRunning(); }

   private:
    Timer& inner_;
    CheckRun& run_;
  };

  // A connect request that failed at once leaves the tray program's cycle resting until its
  // next start; a one-shot run has no next start, so that mailbox fails and the cycle goes on.
  void AfterEvent();
  void Finish();

  ProgramState& state_;
  Socket& socket_;
  Timer& timeout_;
  Timer& timerQuit_;
  Timer& deadline_;
  SettingsStore& settings_;
  std::function<void()> finishedHandler_;
  std::vector<int16_t> listed_;
  bool started_ = false;
  bool finished_ = false;
  bool endedByDeadline_ = false;

  // Declared before the engine, so that they outlive it.
  RunSocket runSocket_;
  RunTimer runTimeout_;
  RunTimer runTimerQuit_;
  CheckEngine engine_;
};

}  // namespace postvane
