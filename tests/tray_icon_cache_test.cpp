// The tray icon cache: only changes reach the platform's icons, and what was set reads back.
#include "ui/tray_icon_cache.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "fakes/fake_tray_icons.h"

namespace postvane {
namespace {

using Write = FakeTrayIcons::Write;

struct CacheCase {
  const char* Name;
  std::function<void(TrayIcons&)> Calls;
  std::vector<Write> Reaching;  // the writes the platform's icons get, in order
};

class TrayIconCacheTest : public testing::TestWithParam<CacheCase> {};

TEST_P(TrayIconCacheTest, HandsOnOnlyChanges) {
  FakeTrayIcons icons;
  icons.Visible.fill(false);
  TrayIconCache cache(icons, 101);
  GetParam().Calls(cache);
  EXPECT_EQ(icons.Writes, GetParam().Reaching);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, TrayIconCacheTest,
    testing::Values(
        CacheCase{
            "StartingPictureIsNotWrittenAgain", [](TrayIcons& t) { t.SetTrayPicture(2, 101); }, {}},
        CacheCase{"RepeatedPictureGoesOnce",
                  [](TrayIcons& t) {
                    t.SetTrayPicture(2, 105);
                    t.SetTrayPicture(2, 105);
                    t.SetTrayPicture(2, 101);
                  },
                  {FakeTrayIcons::PictureWrite(2, 105), FakeTrayIcons::PictureWrite(2, 101)}},
        CacheCase{"RepeatedToolTipGoesOnce",
                  [](TrayIcons& t) {
                    t.SetTrayToolTip(0, "");
                    t.SetTrayToolTip(0, "a");
                    t.SetTrayToolTip(0, "a");
                  },
                  {FakeTrayIcons::ToolTipWrite(0, "a")}},
        CacheCase{"VisibilityGoesOnlyWhenItChanges",
                  [](TrayIcons& t) {
                    t.SetTrayVisible(4, false);
                    t.SetTrayVisible(4, true);
                    t.SetTrayVisible(4, true);
                    t.SetTrayVisible(4, false);
                  },
                  {FakeTrayIcons::VisibleWrite(4, true), FakeTrayIcons::VisibleWrite(4, false)}},
        CacheCase{"IconsAreKeptApart",
                  [](TrayIcons& t) {
                    t.SetTrayPicture(1, 107);
                    t.SetTrayPicture(9, 107);
                  },
                  {FakeTrayIcons::PictureWrite(1, 107), FakeTrayIcons::PictureWrite(9, 107)}},
        CacheCase{"OutOfRangeIsIgnored",
                  [](TrayIcons& t) {
                    t.SetTrayPicture(-1, 103);
                    t.SetTrayPicture(kTrayIcons, 103);
                    t.SetTrayToolTip(kTrayIcons, "x");
                    t.SetTrayVisible(-1, true);
                  },
                  {}}),
    [](const testing::TestParamInfo<CacheCase>& info) { return std::string(info.param.Name); });

TEST(TrayIconCacheReadTest, ReadsBackWhatWasSetWithoutAskingThePlatform) {
  FakeTrayIcons icons;
  icons.ToolTip[3] = "stale";
  TrayIconCache cache(icons, 101);
  cache.SetTrayPicture(3, 106);
  cache.SetTrayToolTip(3, "12:00:00 - Work");
  cache.SetTrayVisible(3, true);
  icons.ToolTip[3] = "cut";
  EXPECT_EQ(cache.Picture(3), 106);
  EXPECT_EQ(cache.GetTrayToolTip(3), "12:00:00 - Work");
  EXPECT_TRUE(cache.GetTrayVisible(3));
  EXPECT_EQ(cache.Writes(), 2);
  EXPECT_EQ(cache.Picture(kTrayIcons), 0);
  EXPECT_EQ(cache.GetTrayToolTip(-1), "");
  EXPECT_FALSE(cache.GetTrayVisible(kTrayIcons));
}

}  // namespace
}  // namespace postvane
