// The main() of every widget test: offscreen unless told otherwise, and gtest first, so that
// listing the tests needs no display and no QApplication.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "desktop/net/event_loop_choice.h"

namespace postvane {

inline int RunGuiTests(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // The event loop the programs run on.
  ChooseEventLoop();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}

}  // namespace postvane
