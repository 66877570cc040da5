#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

const Text kComcat = u"C:\\windows\\system32\\comcat.dll";
const Text kInstaller = u"C:\\vexa_setup_zs.exe";

// Stops a run at its first transfer, the comcat.dll component.
void StartRun(FakeSystem& s) {
  s.Load().form.Command_refresh_Click();
}

class TransferState : public ::testing::Test {
 protected:
  TransferState() { StartRun(sys); }
  std::vector<Text> Percents() { return sys.ui.History(Control::Label_http_state2); }
  void Complete(std::string body) {
    sys.inet.Respond(std::move(body));
    sys.form.Inet1_StateChanged(12);
  }
  FakeSystem sys;
};

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

TEST_F(TransferState, StatesOneToElevenOnlyShowTheirText) {
  const Text texts[] = {u"正在查询所指定的主机的   IP   地址",
                        u"成功地找到所指定的主机的   IP   地址",
                        u"正在与主机连接",
                        u"已与主机连接成功",
                        u"正在向主机发送请求",
                        u"发送请求已成功",
                        u"在接收主机的响应",
                        u"正在下载...comcat.dll",
                        u"正在解除与主机的连接",
                        u"已成功地与主机解除了连接",
                        u"与主机通讯时出现了错误"};
  for (std::int16_t state = 1; state <= 11; ++state) {
    sys.form.Raise(Control::Inet1, EventKind::StateChanged, state);
    EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), texts[state - 1]);
  }
  sys.form.Inet1_StateChanged(0);
  sys.form.Inet1_StateChanged(13);
  sys.form.Inet1_StateChanged(-1);
  EXPECT_EQ(sys.ui.History(Control::Label_http_state).size(), 11u);
  // An error stalls the run: nothing written, registered, launched or fetched again.
  EXPECT_FALSE(sys.files.Has(kComcat));
  EXPECT_TRUE(sys.processes.started.empty());
  EXPECT_TRUE(sys.shell.opened.empty());
  EXPECT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));
  EXPECT_TRUE(Percents().empty());
}

TEST_F(TransferState, AComponentIsSavedRegisteredAndTheQueueMovesOn) {
  const std::string body = Bytes(2048);
  Complete(body);
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state), u"请求已经完成，并且所有数据均已接收到");
  EXPECT_EQ(sys.files.Bytes(kComcat), body);
  EXPECT_EQ(sys.inet.chunkCalls, 3);
  EXPECT_EQ(Percents(), (std::vector<Text>{u"50%", u"100%", u"150%", u"100%"}));
  EXPECT_EQ(sys.processes.started,
            std::vector<Text>{u"cmd.exe /c regsvr32/s \"" + kComcat + u"\""});
  EXPECT_EQ(sys.ui.Caption(Control::Label3), u"状态: 检查 MCI32.OCX ...");
  ASSERT_EQ(sys.inet.requests.size(), 2u);
  EXPECT_NE(sys.inet.requests[1].url.find(u"/Soft/System/MCI32.txt"), Text::npos);
  // The panel was hidden, then shown again for the next transfer with an empty bar.
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));
  EXPECT_EQ(sys.ui.barWidths.back(), 0.0f);
}

TEST_F(TransferState, TheBarGrowsByTheSameStepForEveryChunkCall) {
  Complete(Bytes(2048));
  const float scale = static_cast<float>((6195.0 - 2 * 180.0) / 2048);
  EXPECT_EQ(sys.form.ContentLength, 2048);
  EXPECT_FLOAT_EQ(sys.form.ProgressScale, scale);
  ASSERT_GE(sys.ui.barWidths.size(), 4u);
  EXPECT_FLOAT_EQ(sys.ui.barWidths[1], scale * 1024);
  EXPECT_FLOAT_EQ(sys.ui.barWidths[2], scale * 2048);
  EXPECT_FLOAT_EQ(sys.ui.barWidths[3], scale * 3072);  // ends wider than the panel's bar area
}

TEST_F(TransferState, ShortLastChunksEndTheLoopAndAreWrittenOnce) {
  const std::string body = Bytes(1025);
  Complete(body);
  EXPECT_EQ(sys.files.Bytes(kComcat), body);
  EXPECT_EQ(sys.inet.chunkCalls, 2);
  // Two bytes are enough to go round once more, for one more (empty) chunk.
  FakeSystem s;
  StartRun(s);
  const std::string twoMore = Bytes(1026);
  s.inet.Respond(twoMore);
  s.form.Inet1_StateChanged(12);
  EXPECT_EQ(s.files.Bytes(kComcat), twoMore);
  EXPECT_EQ(s.inet.chunkCalls, 3);
}

TEST_F(TransferState, AnEmptyBodyCreatesAnEmptyFile) {
  sys.inet.Respond("", std::string("0"));
  sys.form.Inet1_StateChanged(12);
  EXPECT_EQ(sys.files.Bytes(kComcat), "");
  EXPECT_EQ(sys.inet.chunkCalls, 1);
  EXPECT_EQ(Percents(), (std::vector<Text>{u"100%", u"100%"}));  // no division by zero
  EXPECT_FLOAT_EQ(sys.ui.barWidths[1], 6195 - 360);
  EXPECT_EQ(sys.processes.started.size(), 1u);
}

TEST_F(TransferState, PercentagesRoundHalvesToEven) {
  sys.inet.Respond(Bytes(4097), std::string("204800"));  // five GetChunk calls
  sys.form.Inet1_StateChanged(12);
  EXPECT_EQ(Percents(), (std::vector<Text>{u"0%", u"1%", u"2%", u"2%", u"2%", u"100%"}));
}

TEST_F(TransferState, UnusableLengthsFallBackToTheBytesReceived) {
  for (const char* header : {"", "abc", "-5", "0", "2147483648", "99999999999"}) {
    FakeSystem s;
    StartRun(s);
    s.inet.Respond(Bytes(4096), std::string(header));
    s.form.Inet1_StateChanged(12);
    EXPECT_EQ(s.form.ContentLength, 4096) << header;
    EXPECT_EQ(s.ui.History(Control::Label_http_state2),
              (std::vector<Text>{u"25%", u"50%", u"75%", u"100%", u"125%", u"100%"}));
  }
  sys.inet.Respond(Bytes(3000), std::nullopt);  // no header at all
  sys.form.Inet1_StateChanged(12);
  EXPECT_EQ(sys.form.ContentLength, 3000);
  EXPECT_EQ(sys.files.Bytes(kComcat).size(), 3000u);
}

TEST_F(TransferState, LengthsAreReadLikeNumbers) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"  2048", 2048}, {"2048abc", 2048}, {"+2048", 2048},   {"2047.5", 2048},   {"2048.5", 2048},
      {"2047.9", 2048}, {"2047.49", 2047}, {"2046.51", 2047}, {"2046.501", 2047}, {"1", 1}};
  for (const auto& [header, length] : cases) {
    sys.form.CurrentIndex = 1;  // comcat.dll again, never the installer
    sys.inet.Respond(Bytes(10), std::string(header));
    sys.form.Inet1_StateChanged(12);
    EXPECT_EQ(sys.form.ContentLength, length) << header;
  }
}

TEST_F(TransferState, BodiesBeyond21MegabytesDoNotOverflow) {
  const std::size_t size = 21473280 + 5 * 1024 + 17;
  Complete(std::string(size, 'v'));
  EXPECT_EQ(sys.files.Bytes(kComcat).size(), size);
  const std::vector<Text> p = Percents();
  EXPECT_EQ(p[p.size() - 3], u"100%");
  EXPECT_EQ(p[p.size() - 2], u"100%");  // 1024 more of over 21 MB still rounds to 100
  EXPECT_EQ(p.back(), u"100%");
  EXPECT_EQ(p[p.size() / 2], u"50%");
}

TEST_F(TransferState, AFailedWriteLeavesTheOldTargetAndNoTemporaryFile) {
  sys.files.Put(kComcat, "old");
  sys.files.failWritesAfter = 1500;
  EXPECT_THROW(Complete(Bytes(4096)), PlatformError);
  EXPECT_EQ(sys.files.Bytes(kComcat), "old");
  EXPECT_FALSE(sys.files.Has(kComcat + u".tmp"));
  EXPECT_TRUE(sys.processes.started.empty());
}

TEST_F(TransferState, TheInstallerIsOpenedAndTheProgramEnds) {
  sys.form.KindList = u"|Y";
  sys.form.NameList = u"|vexa_setup_zs.exe";
  sys.form.UrlList = u"|http://h/setup";
  sys.form.PathList = u"|C:\\vexa_setup_zs.exe";
  sys.form.Command2_Click();
  sys.files.Put(kInstaller, std::string(50000, 'o'));
  sys.inet.Respond(Bytes(3000));
  EXPECT_THROW(sys.form.Inet1_StateChanged(12), ProgramEnded);
  EXPECT_EQ(sys.files.Bytes(kInstaller), Bytes(3000));
  ASSERT_EQ(sys.shell.opened.size(), 1u);
  EXPECT_EQ(sys.shell.opened[0].owner, 0u);
  EXPECT_EQ(sys.shell.opened[0].file, kInstaller);
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state2), u"100%");
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));  // the program ended first
  EXPECT_EQ(sys.inet.requests.size(), 2u);
  EXPECT_TRUE(sys.processes.started.empty());
}

}  // namespace
}  // namespace vexa
