// The desktop notice as a tray balloon: the call to the shell and its arguments (Wine shows no
// toast), and the click that comes back through the tray window.
#include "win32/balloon_notifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_state.h"
#include "win32/gui/frm_main.h"
#include "win32/wide_text.h"
#include "win32/win32_file_system.h"

namespace postvane {
namespace {

struct ShellRecord {
  DWORD message = 0;
  NOTIFYICONDATAW data{};
};

class BalloonNotifierTest : public testing::Test {
 protected:
  BalloonNotifier MakeNotifier(int icon) {
    BalloonNotifier notifier([icon] { return icon; },
                             [this](DWORD message, NOTIFYICONDATAW* data) {
                               calls.push_back({message, *data});
                               return TRUE;
                             });
    notifier.SetWindow(window);
    return notifier;
  }

  HWND window = reinterpret_cast<HWND>(0x1234);
  std::vector<ShellRecord> calls;
};

struct NoticeCase {
  const char* name;
  std::string summary;
  std::string body;
  std::wstring title;
  std::wstring text;
};

class BalloonTextTest : public BalloonNotifierTest,
                        public testing::WithParamInterface<NoticeCase> {};

TEST_P(BalloonTextTest, ModifiesTheIconWithAnInfoBalloon) {
  const NoticeCase& c = GetParam();
  BalloonNotifier notifier = MakeNotifier(3);
  notifier.Show({c.summary, c.body});
  ASSERT_EQ(calls.size(), 1u);
  const NOTIFYICONDATAW& data = calls[0].data;
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(data.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(data.hWnd, window);
  EXPECT_EQ(data.uID, 3u);
  EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO));
  EXPECT_EQ(data.dwInfoFlags, static_cast<DWORD>(NIIF_INFO | NIIF_NOSOUND));
  EXPECT_EQ(std::wstring(data.szInfoTitle), c.title);
  EXPECT_EQ(std::wstring(data.szInfo), c.text);
}

const std::string kLong(300, 'x');
// 62 characters and an emoji (two UTF-16 units) that does not fit whole.
const std::string kTitleWithPairAtTheEdge = std::string(62, 'a') + "\xF0\x9F\x93\xA7";

INSTANTIATE_TEST_SUITE_P(
    Texts, BalloonTextTest,
    testing::Values(NoticeCase{"Plain", "2 new messages", "Work: 2\nBob <bob@example.org> - Lunch",
                               L"2 new messages", L"Work: 2\nBob <bob@example.org> - Lunch"},
                    NoticeCase{"Unicode", "1 neue Nachricht", "B\xC3\xBCro: J\xC3\xB6rg",
                               L"1 neue Nachricht", L"B\u00fcro: J\u00f6rg"},
                    NoticeCase{"LongBodyIsCut", "1", kLong, L"1", std::wstring(255, L'x')},
                    NoticeCase{"PairAtTheEdgeIsLeftOut", kTitleWithPairAtTheEdge, "",
                               std::wstring(62, L'a'), L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BalloonNotifierTest, NothingWithoutAVisibleIcon) {
  BalloonNotifier notifier = MakeNotifier(-1);
  notifier.Show({"1 new message", "Work: 1"});
  EXPECT_TRUE(calls.empty());
}

// The main window's tray callback: a click on the balloon reaches the click handler, and only
// that event does.
TEST(MainWindowBalloonTest, BalloonClickReachesTheNoticeHandler) {
  ProgramState state;
  Win32FileSystem files;
  frmMain main(state, files);
  int clicks = 0;
  main.Notices().SetClickHandler([&clicks] { ++clicks; });
  SendMessageW(main.Handle(), frmMain::kTrayMessage, 0, NIN_BALLOONSHOW);
  SendMessageW(main.Handle(), frmMain::kTrayMessage, 0, NIN_BALLOONTIMEOUT);
  EXPECT_EQ(clicks, 0);
  SendMessageW(main.Handle(), frmMain::kTrayMessage, 0, NIN_BALLOONUSERCLICK);
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace postvane
