#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"

namespace vexa {
namespace {

const Text kComcat = u"C:\\windows\\system32\\comcat.dll";

// A run stopped at its first transfer, the comcat.dll component.
struct FirstTransfer {
  FirstTransfer() { sys.Load().form.Command_refresh_Click(); }
  // The percentages shown, without the clears at each transfer's start.
  std::vector<Text> Percents() const {
    std::vector<Text> shown = sys.ui.History(Control::Label_http_state2);
    shown.erase(std::remove(shown.begin(), shown.end(), Text()), shown.end());
    return shown;
  }
  // The transfer ends with this response (see FakeTransfer::Respond).
  void Complete(std::string body, std::optional<std::string> length = std::nullopt) {
    sys.inet.Respond(std::move(body), std::move(length));
    sys.form.Inet1_StateChanged(12);
  }
  FakeSystem sys;
};

class TransferHandler : public ::testing::Test, protected FirstTransfer {};

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

// Each of the states 1 to 11 shows its text, 8 with the file's name (from a mirror: says so),
// 11 whose login the user declined when one was; other numbers show none. That the run then
// stands still after an error is checked end to end (test_update.py).
TEST_F(TransferHandler, StatesOneToElevenOnlyShowTheirText) {
  for (std::int16_t state = 1; state <= 11; ++state) {
    EXPECT_TRUE(sys.form.Raise(Control::Inet1, EventKind::StateChanged, state));
  }
  sys.form.Inet1_StateChanged(0);
  sys.form.Inet1_StateChanged(13);
  EXPECT_FALSE(sys.form.Raise(Control::Inet1, EventKind::Click));  // it has no other event
  EXPECT_EQ(sys.ui.History(Control::Label_http_state),
            (std::vector<Text>{
                u"正在查询所指定的主机的   IP   地址", u"成功地找到所指定的主机的   IP   地址",
                u"正在与主机连接", u"已与主机连接成功", u"正在向主机发送请求", u"发送请求已成功",
                u"在接收主机的响应", u"正在下载...comcat.dll", u"正在解除与主机的连接",
                u"已成功地与主机解除了连接", u"与主机通讯时出现了错误"}));
  EXPECT_FALSE(sys.files.Has(kComcat));
  EXPECT_TRUE(Percents().empty());
  sys.inet.progress.site = 1;  // from a mirror of the download site
  sys.form.Inet1_StateChanged(8);
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), u"正在从备用站点下载...comcat.dll");
  const std::pair<LoginWanted, const char16_t*> declined[] = {
      {LoginWanted::kProxy, u"代理服务器要求登录，已取消。"},
      {LoginWanted::kSite, u"下载站点要求登录，已取消。"}};
  for (const auto& [whose, text] : declined) {
    sys.inet.progress.canceledLogin = whose;
    sys.form.Inet1_StateChanged(11);
    EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), text);
  }
}

// While the body arrives the bar and the percentage follow it (the bar area is 6195 - 2 * 180
// = 5835 twips wide), capped at the full bar; without a length they stay empty.
TEST_F(TransferHandler, ProgressWhileReceivingFillsTheBarAsTheSaveWill) {
  const struct {
    std::int64_t received, total;
    float width;
    const char16_t* percent;
    TaskbarState taskbar;
  } cases[] = {
      {1024, 2048, 2917.5f, u"50%", TaskbarState::Normal},
      {4096, 2048, 5835, u"100%", TaskbarState::Normal},
      {1, 200, 29.175f, u"0%", TaskbarState::Normal},
      {3, 200, 87.525f, u"2%", TaskbarState::Normal},
      {1000, 0, 0, u"", TaskbarState::Indeterminate},
  };
  for (const auto& c : cases) {
    sys.inet.progress = {c.received, c.total, 1, 0, 0};
    EXPECT_TRUE(sys.form.Raise(Control::Inet1, EventKind::Progress));
    EXPECT_FLOAT_EQ(sys.ui.barWidths.back(), c.width) << c.received << " of " << c.total;
    EXPECT_EQ(sys.ui.Caption(Control::Label_http_state2), c.percent);
    EXPECT_EQ(std::get<0>(sys.ui.taskbar), c.taskbar);
  }
  sys.form.Inet1_StateChanged(11);
  EXPECT_EQ(std::get<0>(sys.ui.taskbar), TaskbarState::Error);
}

// 10 MB at 100 kB/s: shown from the second second on, at most once a second, from the rate of
// the last five seconds; a rate of 0 shows no time.
TEST_F(TransferHandler, TimeLeftFollowsTheRecentRate) {
  sys.form.Inet1_StateChanged(8);
  const Text downloading = u"正在下载...comcat.dll";
  const struct {
    std::int64_t at, received;
    const char16_t* suffix;  // nullptr: the caption is not rewritten
  } steps[] = {{0, 0, nullptr},
               {1000, 100000, nullptr},
               {2000, 200000, u"  剩余 00:01:38"},
               {2500, 250000, nullptr},
               {3000, 300000, u"  剩余 00:01:37"},
               {10000, 300000, u""},
               {11000, 9700000, u"  剩余 00:00:00"}};
  const std::int64_t start = sys.clock.ms;
  for (const auto& step : steps) {
    const std::size_t before = sys.ui.History(Control::Label_http_state).size();
    sys.clock.ms = start + step.at;
    sys.inet.progress = {step.received, 10000000, 1, 0, 0};
    sys.form.Inet1_Progress();
    const std::vector<Text> captions = sys.ui.History(Control::Label_http_state);
    if (step.suffix == nullptr) {
      EXPECT_EQ(captions.size(), before) << step.at;
    } else {
      EXPECT_EQ(captions.back(), downloading + step.suffix) << step.at;
    }
  }
}

// After the last attempt fails the start button offers "重试" (with the keyboard focus, so
// Enter presses it); pressing it fetches the failed item again, and the walk goes on from there
// with the items before it left done.
TEST_F(TransferHandler, AFinalFailureOffersRetryWhichGoesOnFromTheFailedItem) {
  Complete(Bytes(10));              // comcat.dll, placed and registered
  sys.form.Inet1_StateChanged(11);  // MCI32.OCX failed for good
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), u"与主机通讯时出现了错误");
  EXPECT_EQ(sys.ui.Caption(Control::Command_refresh), u"重试");
  EXPECT_TRUE(sys.ui.Enabled(Control::Command_refresh));
  EXPECT_EQ(sys.ui.focus, Control::Command_refresh);
  sys.form.Raise(Control::Command_refresh, EventKind::Click);
  EXPECT_EQ(sys.ui.Caption(Control::Command_refresh), u"开始安装");
  EXPECT_FALSE(sys.ui.Enabled(Control::Command_refresh));
  EXPECT_TRUE(sys.log.Has(u"retry: MCI32.OCX again"));
  Complete(Bytes(10));
  const Text site = u"https://download.tollumo.example/Soft/System/";
  ASSERT_EQ(sys.inet.requests.size(), 4u);
  EXPECT_EQ(sys.inet.requests[1].url, site + u"MCI32.txt");
  EXPECT_EQ(sys.inet.requests[2].url, site + u"MCI32.txt");
  EXPECT_EQ(sys.inet.requests[3].url, site + u"stdole2.txt");
  EXPECT_EQ(sys.processes.started.size(), 2u);  // comcat.dll once, MCI32.OCX
  EXPECT_EQ(sys.ui.barWidths.back(), 0.0f);     // the new transfer starts empty
}

TEST_F(TransferHandler, AWaitBeforeARetryCountsDownAndPausesTheTaskbar) {
  sys.inet.progress = {4096, 8192, 1, 1, 5};
  sys.form.Inet1_Progress();
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state),
            u"网络连接中断，5 秒后重试（第 1 次，共 3 次）...");
  EXPECT_EQ(sys.ui.taskbar,
            std::make_tuple(TaskbarState::Paused, std::int64_t{4096}, std::int64_t{8192}));
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state2), u"50%");  // the bytes kept
}

TEST_F(TransferHandler, AComponentIsSavedChunkByChunkAndTheNextItemStarts) {
  Complete(Bytes(2048), "");
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), u"请求已经完成，并且所有数据均已接收到");
  // Empty when the transfer started and again when the save began, then grown by the same step
  // for each of the three chunks read (without a Content-length, the bytes received measure
  // it: half the bar area), past the area at last; empty again for the next item.
  EXPECT_EQ(sys.ui.barWidths, (std::vector<float>{0, 0, 2917.5f, 5835, 8752.5f, 0}));
  // Registered (as WholeRun checks); the panel shows for the next item's transfer (hidden after
  // the save, it is shown again before the window can paint) with an empty percentage: the
  // previous item's "100%" never stands over it, and the saved item cleared the taskbar button.
  EXPECT_EQ(sys.ui.Caption(Control::Label3), u"状态: 检查 MCI32.OCX ...");
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));
  EXPECT_EQ(sys.ui.History(Control::Label_http_state2).back(), u"");
  EXPECT_EQ(std::get<0>(sys.ui.taskbar), TaskbarState::None);
  // The body, placed, was let go of before the next item was asked for.
  EXPECT_EQ(sys.inet.discardedAt, std::vector<std::size_t>{1});
}

// One percentage for each chunk read, of the announced length (else of the bytes received),
// halves to the even neighbour, then "100%". A rest of two bytes goes round once more, for one
// more (empty) chunk; a rest of one byte ends the loop; either is written once. The bar grows
// by the same step for every chunk: the bar area (5835 twips) times 1024 over the length, the
// whole area for an empty body (no division by zero).
TEST_F(TransferHandler, EachChunkReadShowsItsPercentageAndTheBodyIsWrittenOnce) {
  const struct {
    std::size_t size;
    std::optional<std::string> length;  // none: the body's size
    float step;
    std::vector<Text> shown;
  } cases[] = {
      {2048, "", 5835.0f / 2, {u"50%", u"100%", u"150%", u"100%"}},
      {1026, {}, 5835.0f * 1024 / 1026, {u"100%", u"200%", u"299%", u"100%"}},
      {1025, {}, 5835.0f * 1024 / 1025, {u"100%", u"200%", u"100%"}},
      {0, {}, 5835, {u"100%", u"100%"}},
      {4097, "204800", 29.175f, {u"0%", u"1%", u"2%", u"2%", u"2%", u"100%"}},
  };
  for (const auto& c : cases) {
    FirstTransfer run;
    run.Complete(Bytes(c.size), c.length);
    EXPECT_EQ(run.sys.files.Bytes(kComcat), Bytes(c.size)) << c.size;
    EXPECT_EQ(run.Percents(), c.shown) << c.size;
    EXPECT_FLOAT_EQ(run.sys.ui.barWidths.at(2), c.step) << c.size;  // after the two empty bars
  }
}

// Leniently, as a number (blanks and a sign before it, anything after it, a fraction rounded
// half to even); what is no usable length gives way to the bytes received.
TEST(AnnouncedLength, IsReadLikeANumber) {
  auto lengthFor = [](const char* header) {
    FirstTransfer run;
    run.Complete(Bytes(10), header);
    return run.sys.form.ContentLength;  // read, never set: the length the save measures by
  };
  const std::pair<const char*, std::int64_t> cases[] = {
      {"  +2049x5", 2049}, {"2047.5", 2048}, {"2048.5", 2048},
      {"2046.509", 2047},  {".7", 1},        {"2147483647", 2147483647}};
  for (const auto& [header, length] : cases) EXPECT_EQ(lengthFor(header), length) << header;
  for (const char* header : {"", "x5", "-5", "0.4", "2147483648"}) {
    EXPECT_EQ(lengthFor(header), 10) << header;
  }
}

// Past 2^31 / 100 bytes the count times 100 leaves 32 bits signed, past 2^32 / 100 (42949672)
// unsigned: the 32-bit build (linux-i386) shows the second.
TEST_F(TransferHandler, BodiesBeyond43MegabytesDoNotOverflow) {
  const std::size_t size = 42949632 + 5 * 1024 + 17;
  Complete(std::string(size, 'v'));
  EXPECT_EQ(sys.files.Bytes(kComcat).size(), size);
  const std::vector<Text> p = Percents();
  EXPECT_EQ(p[p.size() - 3], u"100%");
  EXPECT_EQ(p[p.size() - 2], u"100%");  // 1024 more of over 42 MB still rounds to 100
  EXPECT_EQ(p.back(), u"100%");
  EXPECT_EQ(p[p.size() / 2], u"50%");
}

// A body that is not the component's pinned content never takes its place: the component is
// fetched once more with a new request, and a second refusal ends the run, nothing registered
// and no installer fetched.
TEST_F(TransferHandler, ARefusedComponentIsFetchedOnceMoreAndASecondRefusalEndsTheRun) {
  sys.files.pinned[kComcat] = "good";
  Complete("bad");
  EXPECT_FALSE(sys.files.Has(kComcat));
  ASSERT_EQ(sys.inet.requests.size(), 2u);
  EXPECT_EQ(sys.inet.requests[1].url, u"https://download.tollumo.example/Soft/System/comcat.txt");
  EXPECT_EQ(sys.ui.barWidths.back(), 0.0f);
  EXPECT_EQ(std::get<0>(sys.ui.taskbar), TaskbarState::None);  // not the refused save's bar
  EXPECT_THROW(Complete("bad too"), ContentMismatch);
  EXPECT_FALSE(sys.files.Has(kComcat));
  EXPECT_EQ(sys.inet.requests.size(), 2u);
  // Each refused body was let go of, the first before the component was asked for again.
  EXPECT_EQ(sys.inet.discardedAt, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(sys.inet.refusals, 2);
  EXPECT_TRUE(sys.processes.started.empty());
  EXPECT_TRUE(
      sys.log.Has(u"item comcat.dll: refused, SHA-256 bad too instead of good, from "
                  u"https://download.tollumo.example/Soft/System/comcat.txt"));
}

// The second chance is each component's own.
TEST_F(TransferHandler, AComponentIntactTheSecondTimeIsPlacedAndTheNextHasItsOwnSecondChance) {
  sys.files.pinned = {{kComcat, "good"}, {u"C:\\windows\\system32\\MCI32.OCX", "good"}};
  Complete("bad");
  Complete("good");
  EXPECT_EQ(sys.files.Bytes(kComcat), "good");
  EXPECT_EQ(sys.processes.started.size(), 1u);
  Complete("bad");  // MCI32.OCX's first refusal: fetched once more
  EXPECT_EQ(sys.inet.requests.size(), 4u);
}

TEST_F(TransferHandler, AFailedWriteLeavesTheOldTargetUnregistered) {
  sys.files.Put(kComcat, "old");
  sys.files.failWritesAfter = 1500;
  EXPECT_THROW(Complete(Bytes(4096)), PlatformError);
  EXPECT_EQ(sys.files.Bytes(kComcat), "old");
  EXPECT_TRUE(sys.processes.started.empty());
  EXPECT_TRUE(sys.inet.discardedAt.empty());  // kept for the next run
}

}  // namespace
}  // namespace vexa
