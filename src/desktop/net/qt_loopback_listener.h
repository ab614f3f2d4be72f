// The core's loopback listener over QTcpServer: 127.0.0.1 only, a port the system picks.
#pragma once

#include <QTcpServer>

#include "ports/loopback_listener.h"

namespace postvane {

class QtLoopbackListener : public LoopbackListener {
 public:
  QtLoopbackListener();
  ~QtLoopbackListener() override;

  int Listen(Handler handler) override;
  void Close() override;

  // A request line longer than this, or one that does not come within kRequestWaitMs, is
  // dropped: the listener never waits on or stores more for a stray client.
  static constexpr qint64 kRequestLimit = 16 * 1024;
  static constexpr int kRequestWaitMs = 10000;

 private:
  void OnConnection();

  QTcpServer server_;
  Handler handler_;
};

}  // namespace postvane
