#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

const Text kSys = u"C:\\windows\\system32\\";

// The whole update: some components present, the others and the installer fetched.
TEST(WholeRun, RegistersFetchesAndLaunchesInManifestOrder) {
  FakeSystem sys;
  sys.files.Put(u"D:\\Tollumo\\Vexaoem.dat", sys.Ansi(u"演示品牌\r\n"));
  sys.files.Put(u"C:\\vexaverification.dat", "v");
  sys.files.Put(kSys + u"comcat.dll", "present");
  sys.files.Put(kSys + u"shdocvw.dll", "present", kAttrSystem);
  sys.files.Put(kSys + u"shdocvw.oca", "present", kAttrHidden);
  sys.files.Put(kSys + u"COMDLG32.OCX", "present");
  sys.files.Put(u"C:\\vexa_setup_zs.exe", std::string(9000, 'o'));
  sys.processes.windows = {{u"vexa", 500}};
  sys.environment.argument = u"REFRESH";

  // Each fetched item gets a body of its own: its name repeated.
  auto bodyOf = [](const Text& url) {
    std::string body;
    for (int i = 0; i < 300; ++i) body.append(url.begin() + url.rfind(u'/') + 1, url.end());
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
  std::vector<Text> urls;
  for (const auto& r : sys.inet.requests) urls.push_back(r.url);
  EXPECT_EQ(urls,
            (std::vector<Text>{site + u"/Soft/System/MCI32.txt", site + u"/Soft/System/stdole2.txt",
                               site + u"/Soft/System/msxml3.txt", site + u"/Soft/System/MSINET.txt",
                               site + u"/vexa/Soft/vexa_setup_zs.txt"}));

  auto reg = [](const Text& name) { return u"cmd.exe /c regsvr32/s \"" + kSys + name + u"\""; };
  EXPECT_EQ(sys.processes.started,
            (std::vector<Text>{reg(u"comcat.dll"), reg(u"MCI32.OCX"), reg(u"stdole2.tlb"),
                               reg(u"shdocvw.dll"), reg(u"shdocvw.oca"), reg(u"msxml3.dll"),
                               reg(u"MSINET.OCX"), reg(u"COMDLG32.OCX")}));

  EXPECT_EQ(sys.files.Bytes(kSys + u"comcat.dll"), "present");
  EXPECT_EQ(sys.files.Bytes(kSys + u"MCI32.OCX"), bodyOf(u"/MCI32.txt"));
  EXPECT_EQ(sys.files.Bytes(kSys + u"msxml3.dll"), bodyOf(u"/msxml3.txt"));
  EXPECT_EQ(sys.files.Bytes(u"C:\\vexa_setup_zs.exe"), bodyOf(u"/vexa_setup_zs.txt"));
  EXPECT_EQ(sys.files.Bytes(u"C:\\vexaoem.dat"),
            sys.Ansi(sys.form.EncodeBrand(u"演示品牌")) + "\r\n");
  EXPECT_FALSE(sys.files.Has(u"C:\\vexaverification.dat"));
  EXPECT_EQ(sys.processes.terminated, std::vector<std::uint32_t>{500});
  ASSERT_EQ(sys.shell.opened.size(), 1u);
  EXPECT_EQ(sys.shell.opened[0].file, u"C:\\vexa_setup_zs.exe");
  EXPECT_EQ(sys.form.CurrentIndex, 9);
  for (const auto& [path, entry] : sys.files.entries) {
    EXPECT_EQ(path.find(u".tmp"), Text::npos) << ToUtf8(path);
  }
}

}  // namespace
}  // namespace vexa
