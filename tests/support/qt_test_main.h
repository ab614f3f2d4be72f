// The main of a Qt test executable: GoogleTest first, so that listing the tests needs no Qt
// set-up, then the application object the sockets and timers need.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "desktop/net/event_loop_choice.h"

namespace postvane::test {

inline int RunQtTests(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The event loop the programs run on.
  ChooseEventLoop();
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace postvane::test
