#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

const Text kSys = u"C:\\windows\\system32\\";
const Text kSite = u"https://download.tollumo.example";

Text Registration(const Text& path) {
  return u"cmd.exe /c regsvr32/s \"" + path + u"\"";
}

class DownloadQueue : public ::testing::Test {
 protected:
  DownloadQueue() { sys.Load(); }
  FakeSystem sys;
};

TEST_F(DownloadQueue, StartButtonDisablesItselfAndFetchesTheFirstMissingComponent) {
  sys.form.Command_refresh_Click();
  EXPECT_FALSE(sys.ui.Enabled(Control::Command_refresh));
  EXPECT_EQ(sys.ui.History(Control::Label3),
            (std::vector<Text>{u"状态: 正在准备安装 ...", u"状态: 检查 comcat.dll ..."}));
  EXPECT_TRUE(sys.ui.Visible(Control::Picture_http));
  EXPECT_EQ(sys.ui.barWidths, std::vector<float>{0});
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, kSite + u"/Soft/System/comcat.txt");
  EXPECT_EQ(sys.inet.requests[0].operation, u"GET");
  EXPECT_EQ(sys.form.CurrentIndex, 1);
  EXPECT_TRUE(sys.processes.started.empty());
}

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
  EXPECT_EQ(sys.form.CurrentIndex, 3);
}

TEST_F(DownloadQueue, WithEveryComponentPresentTheInstallerIsTheFirstTransfer) {
  const Text names[] = {u"comcat.dll",  u"MCI32.OCX",  u"stdole2.tlb", u"shdocvw.dll",
                        u"shdocvw.oca", u"msxml3.dll", u"MSINET.OCX",  u"COMDLG32.OCX"};
  for (const Text& n : names) sys.files.Put(kSys + n, "x");
  sys.files.Put(u"C:\\vexa_setup_zs.exe", "old installer");  // fetched all the same
  sys.form.Command_refresh_Click();
  EXPECT_EQ(sys.processes.started.size(), 8u);
  EXPECT_EQ(sys.processes.started.back(), Registration(kSys + u"COMDLG32.OCX"));
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, kSite + u"/vexa/Soft/vexa_setup_zs.txt");
  EXPECT_EQ(sys.ui.Caption(Control::Label3), u"状态: 注册 COMDLG32.OCX ...");  // unchanged
}

TEST_F(DownloadQueue, AnyKindButCapitalZIsFetchedUnchecked) {
  sys.form.KindList = u"|z|Z";
  sys.form.NameList = u"|a.dll|b.dll";
  sys.form.UrlList = u"|http://h/a|http://h/b";
  sys.form.PathList = u"|C:\\a.dll|C:\\b.dll";
  sys.files.Put(u"C:\\a.dll", "present");
  sys.form.Command2_Click();
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, u"http://h/a");
  EXPECT_TRUE(sys.ui.History(Control::Label3).empty());
  EXPECT_TRUE(sys.processes.started.empty());
}

TEST_F(DownloadQueue, ASecondWalkResplitsAndStartsAtItemOne) {
  sys.form.Command_refresh_Click();
  sys.form.CurrentIndex = 7;
  sys.form.Command2_Click();
  EXPECT_EQ(sys.form.CurrentIndex, 1);
  EXPECT_EQ(sys.form.ItemKinds.size(), 10u);
  EXPECT_EQ(sys.form.ItemPaths[0], u"");
  EXPECT_EQ(sys.form.ItemPaths[1], kSys + u"comcat.dll");
  EXPECT_EQ(sys.inet.requests.size(), 2u);
  EXPECT_EQ(sys.inet.requests[1].url, kSite + u"/Soft/System/comcat.txt");
}

TEST_F(DownloadQueue, AnExhaustedWalkChangesNothing) {
  sys.form.KindList = sys.form.UrlList = sys.form.NameList = sys.form.PathList = u"";
  sys.form.Command2_Click();
  EXPECT_EQ(sys.form.CurrentIndex, 1);
  EXPECT_TRUE(sys.inet.requests.empty());
  EXPECT_FALSE(sys.ui.Visible(Control::Picture_http));
  EXPECT_TRUE(sys.ui.History(Control::Label3).empty());
}

}  // namespace
}  // namespace vexa
