// The main() of every widget test: offscreen unless told otherwise, and gtest first, so that
// listing the tests needs no display and no QApplication.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace postvane {

inline int RunGuiTests(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}

}  // namespace postvane
