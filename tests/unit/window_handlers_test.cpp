#include <gtest/gtest.h>

#include <cmath>

#include "fakes.h"

namespace vexa {
namespace {

// The link area lights up under the pointer, dims over the bare window, and opens the site.
TEST(WindowHandlers, TheLinkAreaLightsUpUnderThePointer) {
  FakeSystem sys;
  EXPECT_FALSE(sys.ui.ForeColor(Control::Label2));
  sys.form.Raise(Control::Label2, EventKind::MouseMove);
  EXPECT_EQ(sys.ui.ForeColor(Control::Label2), 0x000080FFu);
  sys.form.Raise(Control::Form, EventKind::MouseMove);
  EXPECT_EQ(sys.ui.ForeColor(Control::Label2), 0x8000000Cu);
  EXPECT_FALSE(sys.form.Raise(Control::Label5, EventKind::Click));
}

// The site link goes through the desktop user's shell; without one, it opens directly only
// when the program is not elevated, and otherwise shows the address.
TEST(WindowHandlers, TheSiteOpensAsTheDesktopUserNeverElevated) {
  const Text site = u"https://download.tollumo.example";
  FakeSystem sys;
  sys.shell.desktop = true;
  EXPECT_TRUE(sys.form.Raise(Control::Label2, EventKind::Click));
  EXPECT_EQ(sys.shell.openedAsDesktopUser, std::vector<Text>{site});
  sys.shell.desktop = false;
  sys.environment.elevated = false;
  sys.form.Raise(Control::Label2, EventKind::Click);
  EXPECT_EQ(sys.shell.opened, (std::vector<FakeShell::Opened>{{0x1234, site}}));
  sys.environment.elevated = true;
  sys.form.Raise(Control::Label2, EventKind::Click);
  EXPECT_EQ(sys.shell.opened.size(), 1u);
  EXPECT_EQ(sys.shell.openedAsDesktopUser.size(), 1u);
  EXPECT_EQ(sys.ui.messageBoxes,
            (std::vector<FakeUi::Box>{
                {u"请在浏览器中打开官方网站：\r\n" + site, u"Tollumo", MessageIcon::Information}}));
}

TEST(WindowHandlers, ClosingEndsTheProgramAtOnce) {
  FakeSystem sys;
  EXPECT_THROW(sys.form.Raise(Control::Form, EventKind::QueryUnload), ProgramEnded);
  EXPECT_EQ(sys.log.lines, std::vector<Text>{u"the window was closed"});
}

TEST(WindowHandlers, HiddenButtonShowsTheProgramsFolder) {
  FakeSystem sys;
  sys.form.Raise(Control::Command1, EventKind::Click);
  EXPECT_EQ(sys.ui.messageBoxes, (std::vector<FakeUi::Box>{{u"C:\\users\\me\\Start Menu\\Programs",
                                                            u"Tollumo", MessageIcon::None}}));
}

TEST(WindowHandlers, ConvertTimeWritesHoursMinutesSeconds) {
  FakeSystem sys;
  const std::pair<float, const char16_t*> cases[] = {
      {0, u"00:00:00"},     {60, u"00:01:00"},         {3725, u"01:02:05"},
      {86399, u"23:59:59"}, {86400 + 61, u"00:01:01"}, {59.9f, u"00:00:59"},
      {-3, u"00:00:00"},    {INFINITY, u"00:00:00"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(sys.form.ConvertTime(seconds), text);
}

}  // namespace
}  // namespace vexa
