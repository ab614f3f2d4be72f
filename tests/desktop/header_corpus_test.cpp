// Real mail that nobody here wrote, delivered to a private Dovecot and checked with
// postvane-check: every shown header field is compared with Python's email package.
// The messages: Python's own email test messages, plus the first messages of each group of
// the public spam/ham corpus in $POSTVANE_MAIL_CORPUS when that is set.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/cli_process.h"
#include "fakes/temp_folder.h"
#include "support/dovecot_fixture.h"
#include "support/qt_test_main.h"

namespace postvane::test {
namespace {

namespace fs = std::filesystem;

QString ReferenceScript() { return QString::fromUtf8(POSTVANE_HEADER_REFERENCE_SCRIPT); }

CheckResult RunReference(const QStringList& arguments) {
  const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
  if (python.isEmpty()) return {};
  return RunProgram(python, QStringList{ReferenceScript()} + arguments,
                    QProcessEnvironment::systemEnvironment(), 300000);
}

TEST(HeaderCorpus, ShownFieldsAgreeWithAReferenceReader) {
  DovecotFixture dovecot;
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  const std::string messages = folder.File("messages");
  const char* corpus = std::getenv("POSTVANE_MAIL_CORPUS");

  QStringList prepare{QStringLiteral("prepare"), QString::fromStdString(messages)};
  if (corpus != nullptr && *corpus != '\0') prepare << QString::fromUtf8(corpus);
  const CheckResult prepared = RunReference(prepare);
  ASSERT_TRUE(prepared.Finished);
  ASSERT_EQ(prepared.ExitCode, 0) << prepared.Out << prepared.Err;
  std::cout << prepared.Out;

  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(messages)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) ASSERT_TRUE(dovecot.Deliver(ReadBytes(file.string())));

  const std::string settings = folder.File("Postvane.ini");
  WriteBytes(settings, SettingsText({Mailbox(0, "Corpus", dovecot.Port())}));
  const CheckResult check =
      RunCheck({"--settings", QString::fromStdString(settings), "--json", "--timeout", "240"},
               EnglishEnvironment(), 300000);
  ASSERT_TRUE(check.Finished);
  ASSERT_EQ(check.ExitCode, 0) << check.Err << dovecot.ServerLog();
  const std::string result = folder.File("result.json");
  WriteBytes(result, check.Out);

  const CheckResult compared = RunReference(
      {QStringLiteral("compare"), QString::fromStdString(result), QString::fromStdString(messages)});
  ASSERT_TRUE(compared.Finished);
  // The agreement per field closes the output; the differences before it explain themselves.
  std::cout << compared.Out;
  EXPECT_EQ(compared.ExitCode, 0) << compared.Err;
}

}  // namespace
}  // namespace postvane::test

int main(int argc, char** argv) { return postvane::test::RunQtTests(argc, argv); }
