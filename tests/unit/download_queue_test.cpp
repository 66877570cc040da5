#include <gtest/gtest.h>

#include "engine/manifest.h"
#include "fakes.h"
#include "settings.h"

namespace vexa {
namespace {

const Text kSys = u"C:\\windows\\system32\\";
const Text kSite = u"https://download.tollumo.example";

// The components in the manifest's order: the name the site keeps each under (with ".txt"),
// and its own.
const std::pair<const char16_t*, const char16_t*> kComponents[] = {
    {u"comcat", u"comcat.dll"},      {u"MCI32", u"MCI32.OCX"},        {u"stdole2", u"stdole2.tlb"},
    {u"shdocvwdll", u"shdocvw.dll"}, {u"shdocvwoca", u"shdocvw.oca"}, {u"msxml3", u"msxml3.dll"},
    {u"MSINET", u"MSINET.OCX"},      {u"COMDLG32", u"COMDLG32.OCX"}};

Text Registration(const Text& path) {
  return u"cmd.exe /d /c regsvr32/s \"" + path + u"\"";
}

class DownloadQueue : public ::testing::Test {
 protected:
  DownloadQueue() { sys.Load(); }
  FakeSystem sys;
};

// A component in place is registered where it lies, and the log says it was there.
TEST_F(DownloadQueue, PresentComponentsAreRegisteredAtOnceWhateverTheirAttributes) {
  sys.files.Put(kSys + u"comcat.dll", "x", kAttrHidden);
  sys.files.Put(kSys + u"MCI32.OCX", "x", kAttrReadOnly | kAttrSystem);
  sys.files.PutFolder(kSys + u"stdole2.tlb");  // a folder is no component
  sys.form.Command_refresh_Click();
  EXPECT_EQ(sys.processes.started, (std::vector<Text>{Registration(kSys + u"comcat.dll"),
                                                      Registration(kSys + u"MCI32.OCX")}));
  EXPECT_EQ(sys.ui.History(Control::Label3),
            (std::vector<Text>{u"状态: 正在准备安装 ...", u"状态: 检查 comcat.dll ...",
                               u"状态: 注册 comcat.dll ...", u"状态: 检查 MCI32.OCX ...",
                               u"状态: 注册 MCI32.OCX ...", u"状态: 检查 stdole2.tlb ..."}));
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, kSite + u"/Soft/System/stdole2.txt");
  EXPECT_TRUE(sys.log.Has(u"item comcat.dll: present at " + kSys + u"comcat.dll"));
}

TEST_F(DownloadQueue, WithEveryComponentPresentTheInstallerIsTheFirstTransfer) {
  for (const auto& component : kComponents) sys.files.Put(kSys + component.second, "x");
  sys.files.Put(u"C:\\vexa_setup_zs.exe", "old installer");  // fetched all the same
  sys.form.Command_refresh_Click();
  EXPECT_EQ(sys.processes.started.size(), 8u);
  EXPECT_EQ(sys.processes.started.back(), Registration(kSys + u"COMDLG32.OCX"));
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, kSite + u"/vexa/Soft/vexa_setup_zs.txt");
  EXPECT_EQ(sys.ui.Caption(Control::Label3), u"状态: 注册 COMDLG32.OCX ...");  // unchanged
}

// A sums file pins a digest for each component by its manifest name (cmake/component_sums.cmake);
// a component the build has no entry for would be placed unchecked.
TEST(PinnedDigests, EveryComponentOfTheManifestHasItsEntry) {
  std::vector<Text> components, pinned;
  for (const ManifestItem& item : InstallManifest()) {
    if (item.inSystemFolder) components.push_back(item.name);
  }
  for (const PinnedSha256& pin : kComponentSha256) pinned.push_back(pin.name);
  EXPECT_EQ(pinned, components);
}

// From wherever the last walk stood, the hidden button's walk starts at the first item again.
TEST_F(DownloadQueue, ASecondWalkStartsAtItemOne) {
  sys.form.Command_refresh_Click();
  sys.inet.Respond("x");
  sys.form.Inet1_StateChanged(12);  // comcat.dll placed, MCI32.OCX asked for
  sys.files.Delete(kSys + u"comcat.dll");
  sys.form.Raise(Control::Command2, EventKind::Click);
  ASSERT_EQ(sys.inet.requests.size(), 3u);
  EXPECT_EQ(sys.inet.requests[2].url, kSite + u"/Soft/System/comcat.txt");
}

// The whole update of a machine with none of the components: each item fetched from its
// address, saved and registered, and the installer opened last, which ends the program.
TEST(WholeRun, FetchesEveryItemToItsPlaceAndLaunchesTheInstaller) {
  FakeSystem sys;
  sys.environment.argument = u"REFRESH";
  sys.Load();
  // Each request is answered in turn, with a body of its own: its address repeated.
  auto bodyOf = [](const Text& url) {
    std::string body;
    for (int i = 0; i < 40; ++i) body.append(url.begin(), url.end());
    return body;
  };
  auto answerEveryRequest = [&] {
    for (std::size_t i = 0; i < sys.inet.requests.size(); ++i) {
      sys.inet.Respond(bodyOf(sys.inet.requests[i].url));
      sys.form.Inet1_StateChanged(12);
    }
  };
  EXPECT_THROW(answerEveryRequest(), ProgramEnded);

  ASSERT_EQ(sys.inet.requests.size(), 9u);
  ASSERT_EQ(sys.processes.started.size(), 8u);
  for (std::size_t i = 0; i < 8; ++i) {  // each body is its address repeated
    const Text url = kSite + u"/Soft/System/" + kComponents[i].first + u".txt";
    EXPECT_EQ(sys.files.Bytes(kSys + kComponents[i].second), bodyOf(url));
    EXPECT_EQ(sys.processes.started[i], Registration(kSys + kComponents[i].second));
  }
  for (const auto& request : sys.inet.requests) EXPECT_EQ(request.operation, u"GET");
  // A component's body is at most 64 MiB; the installer's has no limit.
  EXPECT_EQ(sys.inet.requests[0].bodyLimit, 64 << 20);
  EXPECT_EQ(sys.inet.requests[8].bodyLimit, 0);
  EXPECT_EQ(sys.files.Bytes(u"C:\\vexa_setup_zs.exe"),
            bodyOf(kSite + u"/vexa/Soft/vexa_setup_zs.txt"));
  EXPECT_EQ(sys.shell.started, std::vector<Text>{u"C:\\vexa_setup_zs.exe"});
  // The program ended after the last percentage, before the panel was hidden.
  EXPECT_EQ(sys.ui.Caption(Control::Label_http_state2), u"100%");
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));
  // The support log names each item, where it comes from and where it went.
  EXPECT_TRUE(sys.log.Has(u"system folder: C:\\windows\\system32"));
  EXPECT_TRUE(sys.log.Has(u"item MCI32.OCX: to fetch from " + kSite +
                          u"/Soft/System/MCI32.txt into " + kSys + u"MCI32.OCX"));
  EXPECT_TRUE(sys.log.Has(u"item vexa_setup_zs.exe: saved to C:\\vexa_setup_zs.exe"));
}

}  // namespace
}  // namespace vexa
