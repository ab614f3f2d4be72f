// The tray program's --help and --version run with no display at all and never start the tray.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/check_options.h"
#include "app/tray_options.h"
#include "desktop/cli_process.h"
#include "support/qt_test_main.h"
#include "text/own_text.h"

namespace postvane {
namespace {

using test::RunProgram;

struct LineCase {
  const char* Locale;
  int16_t LanguageBase;
};

class TrayCommandLine : public ::testing::TestWithParam<LineCase> {
 protected:
  QProcessEnvironment Environment() const {
    // No DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM: a tray start would abort here.
    QProcessEnvironment environment = test::LanguageEnvironment(GetParam().Locale);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath("config"));
    return environment;
  }
  QTemporaryDir dir_;
};

TEST_P(TrayCommandLine, VersionPrintsTheVersionAndTheSettingsFile) {
  const std::string settings = dir_.filePath("Mine.ini").toStdString();
  const test::CheckResult result =
      RunProgram(QStringLiteral(POSTVANE_PROGRAM_FILE),
                 {"--settings", QString::fromStdString(settings), "--version"}, Environment());
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(result.Out,
            TrayVersionLine() + "\n" + SettingsFileLine(GetParam().LanguageBase, settings) + "\n");
  EXPECT_EQ(result.Err, "");
}

TEST_P(TrayCommandLine, HelpPrintsTheUsage) {
  const test::CheckResult result =
      RunProgram(QStringLiteral(POSTVANE_PROGRAM_FILE), {"--help"}, Environment());
  ASSERT_TRUE(result.Finished);
  EXPECT_EQ(result.ExitCode, 0) << result.Err;
  EXPECT_EQ(result.Out, TrayUsage());
  EXPECT_EQ(result.Err, "");
}

INSTANTIATE_TEST_SUITE_P(Languages, TrayCommandLine,
                         ::testing::Values(LineCase{"en_US.UTF-8", 900},
                                           LineCase{"de_DE.UTF-8", 700}),
                         [](const ::testing::TestParamInfo<LineCase>& info) {
                           return std::to_string(info.param.LanguageBase);
                         });

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
