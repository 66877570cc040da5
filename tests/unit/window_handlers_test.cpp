#include <gtest/gtest.h>

#include <array>
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

// Each control's box in twips (left, top, width, height) as the window's design has it; the
// end-to-end suite sees the pixels of 96 DPI only, where a twip or two can make no difference.
TEST(WindowLayout, EveryControlLiesWhereTheDesignPutsIt) {
  using C = Control;
  const std::pair<Control, std::array<int, 4>> boxes[] = {
      {C::Command2, {5550, 1530, 645, 405}},
      {C::Picture_http, {150, 2100, 5865, 975}},
      {C::Picture1, {180, 630, 75, 195}},
      {C::Label_http_state2, {5340, 210, 555, 195}},
      {C::Label_http_state, {300, 180, 5415, 225}},
      {C::Picture_z, {-120, 0, 7455, 1335}},
      {C::Command1, {4200, 0, 1275, 435}},
      {C::Command_refresh, {360, 360, 2955, 495}},
      {C::Label5, {3300, 1080, 2790, 180}},
      {C::Label_v, {2640, 840, 3495, 195}},
      {C::Image1, {4830, 180, 1665, 945}},
      {C::Label4, {240, 1440, 4140, 180}},
      {C::Label2, {240, 1800, 4455, 195}},
      {C::Label1, {240, 1710, 4860, 180}},
      {C::Label3, {405, 2220, 90, 180}}};
  for (const auto& [control, box] : boxes) {
    const Box& b = LayoutOf(control).box;
    EXPECT_EQ((std::array<int, 4>{b.left, b.top, b.width, b.height}), box)
        << static_cast<int>(control);
  }
}

}  // namespace
}  // namespace vexa
