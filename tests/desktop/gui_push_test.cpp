// The Qt tray program with an IMAP mailbox on a private Dovecot: its push watch idles beside
// the checks, and a delivery shows in the tray within seconds, with no interval check.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <iostream>
#include <string>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"
#include "settings/settings_store.h"
#include "support/dovecot_fixture.h"

namespace postvane {
namespace {

using test::DovecotFixture;
using test::DovecotOptions;

constexpr int kDeadlineMs = 30000;

DovecotOptions ImapOptions() {
  DovecotOptions options;
  options.Imap = true;
  return options;
}

TEST(GuiPush, DeliveryShowsInTheTrayWithinSeconds) {
  DovecotFixture dovecot(ImapOptions());
  ASSERT_TRUE(dovecot.Running()) << dovecot.Failure();
  QTemporaryDir dir;
  {
    QFile file(dir.filePath("Postvane.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(
        "[MailBox0]\r\nName=Imap\r\nEnabled=1\r\nRemoteHost=127.0.0.1\r\nRemotePort=" +
        std::to_string(dovecot.ImapPort()) + "\r\nProtocol=1\r\nSecurity=0\r\nUser=alice\r\n" +
        "Password=" + TransformPassword("secret") + "\r\n[General]\r\nInterval=30\r\n"));
  }
  NoPickers pickers;
  DesktopProgram program(dir.path().toStdString(), pickers);
  program.StartUp(0x0409);
  const MailboxRecord& box = program.State().Mailboxes[0];
  ASSERT_TRUE(WaitFor(
      [&] {
        const ImapWatch* watch = program.App().Push()->Watch(0);
        return !program.App().Engine().CycleRunning() && watch != nullptr &&
               watch->Current() == ImapWatch::Step::Idling;
      },
      kDeadlineMs))
      << box.StatusText << dovecot.ServerLog();
  EXPECT_EQ(box.NewCount, 0);
  EXPECT_EQ(box.StatusText, "");

  QElapsedTimer delay;
  delay.start();
  ASSERT_TRUE(dovecot.Deliver("From: Bob <bob@example.org>\nSubject: Hi\n\nHello.\n"));
  ASSERT_TRUE(WaitFor([&] { return box.NewCount == 1; }, kDeadlineMs)) << box.StatusText;
  const qint64 milliseconds = delay.elapsed();
  std::cout << "the tray counted the new mail " << milliseconds << " ms after the delivery\n";
  RecordProperty("tray_count_delay_ms", static_cast<int>(milliseconds));
  ASSERT_TRUE(WaitFor([&] { return !program.App().Engine().CycleRunning(); }, kDeadlineMs));
  EXPECT_NE(
      program.MainWindow().SysTray(0)->toolTip().toStdString().find("Imap has 1 new message(s)!"),
      std::string::npos)
      << program.MainWindow().SysTray(0)->toolTip().toStdString();
  // No interval check came in between: the minute timer is thirty-one ticks from its next.
  EXPECT_EQ(program.State().MinuteCount, 0);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
