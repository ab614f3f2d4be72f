// The status window's tree as the user sees it: texts, keys, colours, expand and collapse,
// and the window's life: built on the first show, left alone while open, gone when closed.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "desktop/gui/desktop_program.h"
#include "desktop/gui/frm_status.h"
#include "desktop/gui_test_main.h"
#include "desktop/gui_test_support.h"

namespace postvane {
namespace {

const QColor kMagenta(128, 0, 128);
const QColor kDarkRed(128, 0, 0);

class StatusWindowTest : public testing::Test {
 protected:
  StatusWindowTest() : program_(dir_.path().toStdString(), pickers_) {
    program_.StartUp(0x0409);
    ProgramState& state = program_.State();
    MailboxRecord& work = state.Mailboxes[0];
    work.Name = "Work";
    work.Enabled = kTrue;
    work.NewCount = 2;
    work.MessageCount = 5;
    work.LastCheck = LocalDateTime{2024, 3, 9, 14, 5, 30};
    work.Headers.resize(3);
    work.Headers[1] = {"Ann <ann@example.org>", "me@example.org", "Urgent", "1",
                       "Sat, 9 Mar 2024 14:00:00 +0100"};
    work.Headers[2] = {"Bob <bob@example.org>", "me@example.org", "Lunch", "3 (Normal)",
                       "Sat, 9 Mar 2024 12:00:00 +0100"};

    MailboxRecord& old = state.Mailboxes[1];
    old.Name = "Old";
    old.Enabled = kFalse;
    old.NewCount = 4;

    MailboxRecord& broken = state.Mailboxes[3];
    broken.Name = "Broken";
    broken.Enabled = kTrue;
    broken.StatusText = "Mailserver not avaiable!";
  }

  std::string Time(const LocalDateTime& value) {
    return program_.MainWindow().Platform().DateFormat.Format(value);
  }

  frmStatus* Show() {
    program_.App().ShowStatus();
    return program_.MainWindow().StatusWindow();
  }

  static QString Text(frmStatus& window, const char* key) {
    QTreeWidgetItem* node = window.Node(QString::fromLatin1(key));
    return node != nullptr ? node->text(0) : QStringLiteral("<no node %1>").arg(key);
  }

  static QStringList ChildKeys(frmStatus& window, const char* key) {
    QStringList keys;
    QTreeWidgetItem* node = window.Node(QString::fromLatin1(key));
    if (node == nullptr) return {"<no node>"};
    for (int i = 0; i < node->childCount(); ++i) keys << frmStatus::KeyOf(*node->child(i));
    return keys;
  }

  static QBrush Foreground(frmStatus& window, const char* key) {
    QTreeWidgetItem* node = window.Node(QString::fromLatin1(key));
    return node != nullptr ? node->foreground(0) : QBrush(Qt::green);
  }

  QTemporaryDir dir_;
  NoPickers pickers_;
  DesktopProgram program_;
};

TEST_F(StatusWindowTest, TreeShowsTheEnabledMailboxesWithTheirMessages) {
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  QTreeWidget& tree = *window->TreeView1;
  ASSERT_EQ(tree.topLevelItemCount(), 2);
  EXPECT_EQ(frmStatus::KeyOf(*tree.topLevelItem(0)), "0 Account");
  EXPECT_EQ(frmStatus::KeyOf(*tree.topLevelItem(1)), "3 Account");
  EXPECT_EQ(window->Node("1 Account"), nullptr) << "a disabled mailbox is absent";

  EXPECT_EQ(Text(*window, "0 Account").toStdString(),
            "Work 2 new message(s) - " + Time(LocalDateTime{2024, 3, 9, 14, 5, 30}));
  EXPECT_EQ(ChildKeys(*window, "0 Account"),
            (QStringList{"Eintrag 20", "Eintrag 30", "Eintrag 40"}));
  EXPECT_EQ(Text(*window, "Eintrag 20"), "2 new message(s)");
  EXPECT_EQ(ChildKeys(*window, "Eintrag 20"), (QStringList{"Eintrag 601", "Eintrag 602"}));
  EXPECT_EQ(Text(*window, "Eintrag 601"), "Message 2");
  EXPECT_EQ(Text(*window, "Eintrag 602"), "Message 1");
  EXPECT_EQ(
      ChildKeys(*window, "Eintrag 601"),
      (QStringList{"Eintrag 701", "Eintrag 801", "Eintrag 901", "Eintrag 1001", "Eintrag 1101"}));
  EXPECT_EQ(Text(*window, "Eintrag 701"), "From: Ann <ann@example.org>");
  EXPECT_EQ(Text(*window, "Eintrag 801"), "To: me@example.org");
  EXPECT_EQ(Text(*window, "Eintrag 901"), "Subject: Urgent");
  EXPECT_EQ(Text(*window, "Eintrag 1001"), "Date: Sat, 9 Mar 2024 14:00:00 +0100");
  EXPECT_EQ(Text(*window, "Eintrag 1101"), "Priority: Very High");
  EXPECT_EQ(Text(*window, "Eintrag 1102"), "Priority: 3 (Normal)");
  EXPECT_EQ(Text(*window, "Eintrag 30"), "5 message(s) in mailbox");
  EXPECT_EQ(Text(*window, "Eintrag 40"), "no Error");

  EXPECT_EQ(Text(*window, "Eintrag 43"), "Mailserver not avaiable!");
  EXPECT_EQ(Text(*window, "Eintrag 23"), "0 new message(s)");
  EXPECT_EQ(ChildKeys(*window, "Eintrag 23"), QStringList{});
}

TEST_F(StatusWindowTest, UrgentMessagesAreMagentaAndFailuresDarkRed) {
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Foreground(*window, "0 Account").color(), kMagenta);
  EXPECT_EQ(Foreground(*window, "Eintrag 20").color(), kMagenta);
  EXPECT_EQ(Foreground(*window, "Eintrag 601").color(), kMagenta);
  EXPECT_EQ(Foreground(*window, "Eintrag 1101").style(), Qt::NoBrush);
  EXPECT_EQ(Foreground(*window, "Eintrag 602").style(), Qt::NoBrush);
  EXPECT_EQ(Foreground(*window, "Eintrag 40").style(), Qt::NoBrush);
  EXPECT_EQ(Foreground(*window, "3 Account").color(), kDarkRed);
  EXPECT_EQ(Foreground(*window, "Eintrag 43").color(), kDarkRed);
  EXPECT_EQ(Foreground(*window, "Eintrag 33").style(), Qt::NoBrush);
}

TEST_F(StatusWindowTest, EveryNodeStartsCollapsed) {
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  int nodes = 0;
  for (QTreeWidgetItemIterator it(window->TreeView1); *it != nullptr; ++it) {
    ++nodes;
    EXPECT_FALSE((*it)->isExpanded()) << frmStatus::KeyOf(**it).toStdString();
  }
  EXPECT_EQ(nodes, 2 + 3 + 2 * 6 + 3);
}

TEST_F(StatusWindowTest, ExpandingAMailboxMovesTheCountToItsChild) {
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  const std::string time = Time(LocalDateTime{2024, 3, 9, 14, 5, 30});
  QTreeWidgetItem* mailbox = window->Node("0 Account");
  ASSERT_NE(mailbox, nullptr);

  mailbox->setExpanded(true);
  EXPECT_EQ(mailbox->text(0).toStdString(), "Work - " + time);

  // The line reads the table at the time of the event.
  program_.State().Mailboxes[0].NewCount = 7;
  mailbox->setExpanded(false);
  EXPECT_EQ(mailbox->text(0).toStdString(), "Work 7 new message(s) - " + time);

  QTreeWidgetItem* newMessages = window->Node("Eintrag 20");
  newMessages->setExpanded(true);
  EXPECT_EQ(newMessages->text(0), "2 new message(s)");
  newMessages->setExpanded(false);
  EXPECT_EQ(newMessages->text(0), "2 new message(s)");
}

TEST_F(StatusWindowTest, ShowingItAgainWhileOpenDoesNotRebuild) {
  frmStatus* first = Show();
  ASSERT_NE(first, nullptr);
  QTreeWidgetItem* node = first->Node("Eintrag 20");
  program_.State().Mailboxes[0].NewCount = 9;
  program_.State().Mailboxes[5].Enabled = kTrue;

  EXPECT_EQ(Show(), first);
  EXPECT_EQ(first->Node("Eintrag 20"), node);
  EXPECT_EQ(node->text(0), "2 new message(s)");
  EXPECT_EQ(first->Node("5 Account"), nullptr);
  EXPECT_TRUE(first->isVisible());
}

TEST_F(StatusWindowTest, ClosingDiscardsTheTreeAndTheNextShowBuildsAnew) {
  QPointer<frmStatus> first = Show();
  ASSERT_FALSE(first.isNull());
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(program_.MainWindow().StatusWindow(), nullptr);

  program_.State().Mailboxes[0].NewCount = 9;
  frmStatus* second = Show();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Text(*second, "Eintrag 20"), "9 new message(s)");
}

TEST_F(StatusWindowTest, FixedSizeAndTitleInEveryLanguage) {
  program_.State().LanguageBase = 700;
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Status");
  EXPECT_EQ(window->size(), QSize(287, 184));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->TreeView1->geometry(), QRect(7, 7, 274, 169));
  EXPECT_EQ(Text(*window, "Eintrag 40"), "kein Fehler");
}

TEST_F(StatusWindowTest, NoEnabledMailboxGivesAnEmptyTree) {
  for (MailboxRecord& record : program_.State().Mailboxes) record.Enabled = kFalse;
  frmStatus* window = Show();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->TreeView1->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) { return postvane::RunGuiTests(argc, argv); }
