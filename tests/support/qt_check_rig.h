// A check engine on the real Qt socket and timers, with an event loop the test runs until a
// cycle ends. Header-only so that it links wherever the Qt adapters are linked.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/program_state.h"
#include "check/check_engine.h"
#include "desktop/net/qt_clock.h"
#include "desktop/net/qt_socket.h"
#include "desktop/net/qt_timer.h"
#include "fakes/fake_cycle_hooks.h"
#include "fakes/fake_file_system.h"
#include "settings/program_paths.h"

namespace postvane::test {

struct QtCheckRigOptions {
  int TimeoutMs = kConnectTimeoutMs;
  int QuitWaitMs = kQuitWaitMs;
  // Where the receive log goes; the rig's in-memory files when null.
  FileSystem* Files = nullptr;
};

class QtCheckRig {
 public:
  using Clock = std::chrono::steady_clock;

  explicit QtCheckRig(const QtCheckRigOptions& options = {})
      : Timeout(options.TimeoutMs),
        TimerQuit(options.QuitWaitMs),
        Engine(State, Socket, Timeout, TimerQuit, LocalClock,
               options.Files != nullptr ? *options.Files : MemoryFiles, Hooks,
               {State.General.ReceiveLog, State.Paths.ReceiveLog}) {
    State.Paths = MakeProgramPaths("pv");
    State.General.ReceiveLog = kTrue;
    for (int i = 0; i < kUserMailboxes; ++i) Box(i).Headers.resize(1);
    // The end of a cycle ends the wait for it at once, not at the next poll.
    Hooks.OnCall = [this](const std::string& name) {
      if (name == "NotifyNewMail" && activeLoop_ != nullptr) activeLoop_->quit();
    };
  }

  MailboxRecord& Box(int index) { return State.Mailboxes[static_cast<std::size_t>(index)]; }

  MailboxRecord& Enable(int index, uint16_t port, const std::string& user = "alice",
                        const std::string& password = "secret") {
    MailboxRecord& box = Box(index);
    box.Enabled = kTrue;
    box.Name = "Box " + std::to_string(index);
    box.RemoteHost = "127.0.0.1";
    box.RemotePort = port;
    box.User = user;
    box.Password = password;
    return box;
  }

  int CyclesEnded() const { return Hooks.Count("NotifyNewMail"); }

  // Starts a cycle and runs the event loop until it ends. False when the watchdog ran out.
  bool RunCycle(std::chrono::milliseconds watchdog = std::chrono::seconds(20)) {
    const int before = CyclesEnded();
    Engine.StartCycle();
    return SpinUntil([&] { return CyclesEnded() > before; }, watchdog);
  }

  // Runs the event loop until the condition holds; false when the watchdog ran out first.
  bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds watchdog) {
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (done() || elapsed.hasExpired(watchdog.count())) loop.quit();
    });
    poll.start();
    QEventLoop* outer = activeLoop_;
    activeLoop_ = &loop;
    bool reached = false;
    for (;;) {
      if (done()) {
        reached = true;
        break;
      }
      if (elapsed.hasExpired(watchdog.count())) break;
      // Ends at the poll above, or early when a cycle ends.
      loop.exec();
    }
    activeLoop_ = outer;
    return reached;
  }

  // Runs the event loop until a marker timer of `interval`, started now, has fired. Every
  // timer the engine started earlier with an interval no longer than that has had its turn
  // by then, so a check afterwards proves that such a timer changed nothing.
  bool SpinPast(std::chrono::milliseconds interval) {
    bool fired = false;
    QTimer marker;
    marker.setSingleShot(true);
    marker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&marker, &QTimer::timeout, [&] { fired = true; });
    marker.start(interval);
    return SpinUntil([&] { return fired; }, interval + std::chrono::seconds(20));
  }

  std::string Log() const { return MemoryFiles.Content(State.Paths.ReceiveLog); }

  ProgramState State;
  QtSocket Socket;
  QtTimer Timeout;
  QtTimer TimerQuit;
  QtClock LocalClock;
  FakeFileSystem MemoryFiles;
  FakeCycleHooks Hooks;
  CheckEngine Engine;

 private:
  QEventLoop* activeLoop_ = nullptr;
};

}  // namespace postvane::test
