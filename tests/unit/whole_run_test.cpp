#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"

namespace vexa {
namespace {

const Text kSys = u"C:\\windows\\system32\\";

// The whole update of a machine with none of the components: each item fetched from its own
// address into its own file, registered, and the installer opened last.
TEST(WholeRun, FetchesEveryItemToItsPlaceAndLaunchesTheInstaller) {
  FakeSystem sys;
  sys.files.Put(u"D:\\Tollumo\\Vexaoem.dat", sys.Ansi(u"演示品牌\r\n"));
  sys.files.Put(u"C:\\vexaverification.dat", "v");
  sys.files.Put(u"C:\\vexa_setup_zs.exe", std::string(9000, 'o'));
  sys.processes.windows = {{u"vexa", 500}};
  sys.environment.argument = u"REFRESH";

  // Each fetched item gets a body of its own: its address repeated.
  auto bodyOf = [](const Text& url) {
    std::string body;
    for (int i = 0; i < 40; ++i) body.append(url.begin(), url.end());
    return body;
  };
  sys.form.Raise(Control::Form, EventKind::Load);
  std::size_t handled = 0;
  bool ended = false;
  while (!ended && handled < sys.inet.requests.size()) {
    sys.inet.Respond(bodyOf(sys.inet.requests[handled++].url));
    for (std::int16_t state : {1, 2, 3, 4, 5, 6, 7, 8}) sys.form.Inet1_StateChanged(state);
    try {
      sys.form.Inet1_StateChanged(12);
    } catch (const ProgramEnded&) {
      ended = true;
    }
  }
  ASSERT_TRUE(ended);

  const Text site = u"https://download.tollumo.example";
  const std::pair<Text, Text> items[] = {
      {u"/Soft/System/comcat.txt", kSys + u"comcat.dll"},
      {u"/Soft/System/MCI32.txt", kSys + u"MCI32.OCX"},
      {u"/Soft/System/stdole2.txt", kSys + u"stdole2.tlb"},
      {u"/Soft/System/shdocvwdll.txt", kSys + u"shdocvw.dll"},
      {u"/Soft/System/shdocvwoca.txt", kSys + u"shdocvw.oca"},
      {u"/Soft/System/msxml3.txt", kSys + u"msxml3.dll"},
      {u"/Soft/System/MSINET.txt", kSys + u"MSINET.OCX"},
      {u"/Soft/System/COMDLG32.txt", kSys + u"COMDLG32.OCX"},
      {u"/vexa/Soft/vexa_setup_zs.txt", u"C:\\vexa_setup_zs.exe"},
  };
  ASSERT_EQ(sys.inet.requests.size(), 9u);
  std::vector<Text> registered;
  for (std::size_t i = 0; i < 9; ++i) {
    const auto& [path, target] = items[i];
    EXPECT_EQ(sys.inet.requests[i].url, site + path);
    EXPECT_EQ(sys.inet.requests[i].operation, u"GET");
    EXPECT_EQ(sys.files.Bytes(target), bodyOf(site + path)) << ToUtf8(target);
    if (i < 8) registered.push_back(u"cmd.exe /c regsvr32/s \"" + target + u"\"");
  }
  EXPECT_EQ(sys.processes.started, registered);
  // "演示品牌" in code page 936, coded: the end-to-end suite's own encoder gives this too.
  EXPECT_EQ(sys.files.Bytes(u"C:\\vexaoem.dat"), "bffmffdbfhkhidbfikkjdbfinekd\r\n");
  EXPECT_FALSE(sys.files.Has(u"C:\\vexaverification.dat"));
  EXPECT_EQ(sys.processes.terminated, std::vector<std::uint32_t>{500});
  ASSERT_EQ(sys.shell.opened.size(), 1u);
  EXPECT_EQ(sys.shell.opened[0].file, u"C:\\vexa_setup_zs.exe");
  EXPECT_EQ(sys.shell.opened[0].owner, 0u);  // no owner window
  EXPECT_EQ(sys.form.CurrentIndex, 9);
  for (const auto& [path, entry] : sys.files.entries) {
    EXPECT_EQ(path.find(u".tmp"), Text::npos) << ToUtf8(path);
  }
  // The support log names each item, where it comes from and where it went.
  const std::vector<Text>& log = sys.log.lines;
  auto logged = [&log](const Text& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
  };
  EXPECT_TRUE(logged(u"brand file D:\\Tollumo\\Vexaoem.dat: 演示品牌"));
  EXPECT_TRUE(logged(u"system folder: C:\\windows\\system32"));
  EXPECT_TRUE(logged(u"item MCI32.OCX: to fetch from " + site + items[1].first + u" into " +
                     items[1].second));
  EXPECT_TRUE(logged(u"item vexa_setup_zs.exe: saved to C:\\vexa_setup_zs.exe"));
}

// A component in place is registered where it lies, and the log says it was there.
TEST(WholeRun, PresentComponentsAreRegisteredWithoutFetching) {
  FakeSystem sys;
  sys.files.Put(u"D:\\Tollumo\\Vexaoem.dat", "B\r\n");
  sys.files.Put(kSys + u"comcat.dll", "present");
  sys.environment.argument = u"REFRESH";
  sys.form.Raise(Control::Form, EventKind::Load);
  EXPECT_EQ(sys.processes.started,
            std::vector<Text>{u"cmd.exe /c regsvr32/s \"" + kSys + u"comcat.dll\""});
  EXPECT_EQ(sys.inet.requests.at(0).url, u"https://download.tollumo.example/Soft/System/MCI32.txt");
  EXPECT_NE(std::find(sys.log.lines.begin(), sys.log.lines.end(),
                      u"item comcat.dll: present at " + kSys + u"comcat.dll"),
            sys.log.lines.end());
}

}  // namespace
}  // namespace vexa
