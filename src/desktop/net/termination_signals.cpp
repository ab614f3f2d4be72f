// A signal handler may only do async-signal-safe things: it writes one byte into a pipe, and
// the event loop, woken by the pipe, quits.
#include "desktop/net/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

namespace postvane {

namespace {

// The write end for the handler: a signal handler can reach nothing but process-wide state.
int signalPipeWrite = -1;

extern "C" void WriteSignalByte(int /*signal*/) {
  const char byte = 1;
  // Nothing to do when the pipe is full: a byte is already waiting.
  [[maybe_unused]] const ssize_t written = write(signalPipeWrite, &byte, 1);
}

}  // namespace

bool QuitOnTerminationSignals() {
  if (signalPipeWrite >= 0) return true;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  signalPipeWrite = ends[1];
  auto* notifier =
      new QSocketNotifier(ends[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readEnd = ends[0]] {
    char bytes[16];
    while (read(readEnd, bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = WriteSignalByte;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace postvane
