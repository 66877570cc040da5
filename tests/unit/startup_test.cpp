#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

const Text kBrandFile = u"D:\\Tollumo\\Vexaoem.dat";
const Text kEncoded = u"C:\\vexaoem.dat";
const Text kMarker = u"C:\\vexaverification.dat";

class Startup : public ::testing::Test {
 protected:
  void Load() { sys.form.Form_Load(); }
  FakeSystem sys;
};

TEST_F(Startup, WithoutBrandFileShowsTheBoxAndEndsBeforeAnythingElse) {
  for (std::uint32_t attributes : {kAttrHidden, kAttrSystem}) {
    FakeSystem s;
    s.files.Put(kEncoded, "old\r\n");
    s.files.Put(kMarker, "m");
    s.files.Put(kBrandFile, "Brand\r\n", attributes);  // hidden or system: counts as absent
    s.files.PutFolder(u"D:\\Tollumo\\Vexaoem.dat\\");
    EXPECT_THROW(s.form.Form_Load(), ProgramEnded);
    ASSERT_EQ(s.ui.messageBoxes.size(), 1u);
    EXPECT_EQ(s.ui.messageBoxes[0].text, u"请先解压，而后再安装！");
    EXPECT_EQ(s.ui.messageBoxes[0].title, u"Tollumo");
    EXPECT_EQ(s.ui.messageBoxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(s.files.Bytes(kEncoded), "old\r\n");
    EXPECT_TRUE(s.files.Has(kMarker));
    EXPECT_FALSE(s.ui.shown);
    EXPECT_TRUE(s.processes.started.empty());
    EXPECT_EQ(s.log.lines, std::vector<Text>{u"brand file missing: D:\\Tollumo\\Vexaoem.dat "
                                             u"(not run from the package)"});
  }
}

TEST_F(Startup, RecordsTheEncodedBrandAndFillsTheLabels) {
  sys.files.Put(kBrandFile, sys.Ansi(u"联想专用\r\nsecond line\r\n"));
  sys.files.Put(kEncoded, "a much longer old content that must go\r\nand more\r\n");
  sys.files.Put(kMarker, "x");
  Load();
  EXPECT_EQ(sys.form.EncodedBrand, sys.form.EncodeBrand(u"联想专用"));
  EXPECT_EQ(sys.files.Bytes(kEncoded), sys.Ansi(sys.form.EncodedBrand) + "\r\n");
  EXPECT_FALSE(sys.files.Has(kMarker));
  EXPECT_EQ(sys.ui.Caption(Control::Label_v), u"联想专用 专用安装程序");
  EXPECT_EQ(sys.ui.Caption(Control::Label1), u"如果安装工作多次无法进行，请联系QQ：800012345");
  EXPECT_TRUE(sys.ui.shown);
  EXPECT_TRUE(sys.ui.messageBoxes.empty());
  EXPECT_TRUE(sys.inet.requests.empty());  // nothing starts without the button
}

TEST_F(Startup, FirstLineEndsAtCarriageReturnOnly) {
  struct Case {
    std::string file;
    Text brand;
  } cases[] = {{"\r\n", u""}, {"A\nB", u"A\nB"}, {"A\rB", u"A"}, {"NoNewline", u"NoNewline"}};
  for (const Case& c : cases) {
    FakeSystem s;
    s.files.Put(kBrandFile, c.file);
    s.form.Form_Load();
    EXPECT_EQ(s.ui.Caption(Control::Label_v), c.brand + u" 专用安装程序");
    EXPECT_EQ(s.files.Bytes(kEncoded), s.Ansi(s.form.EncodeBrand(c.brand)) + "\r\n");
  }
}

// Windows refuses to delete a read-only file: like any failed file operation, that ends the
// program through the error box, which names the file.
TEST_F(Startup, AReadOnlyMarkerIsAnUnexpectedErrorNamingIt) {
  sys.files.Put(kBrandFile, "Brand\r\n");
  sys.files.Put(kMarker, "x", kAttrReadOnly);
  try {
    Load();
    ADD_FAILURE() << "the marker was deleted";
  } catch (const PlatformError& error) {
    EXPECT_NE(error.message().find(kMarker), Text::npos) << ToUtf8(error.message());
  }
  EXPECT_TRUE(sys.files.Has(kMarker));
  EXPECT_FALSE(sys.ui.shown);
}

TEST_F(Startup, AnEmptyBrandFileIsAnUnexpectedError) {
  sys.files.Put(kBrandFile, "");
  EXPECT_THROW(Load(), PlatformError);
  EXPECT_FALSE(sys.files.Has(kEncoded));
}

TEST_F(Startup, ComponentPathsGetExactlyOneSeparator) {
  for (const Text& folder : {Text(u"C:\\windows\\system32"), Text(u"C:\\windows\\system32\\")}) {
    FakeSystem s;
    s.files.Put(kBrandFile, "B\r\n");
    s.shell.folders[37] = folder;
    s.form.Form_Load();
    EXPECT_EQ(s.form.SystemDir, folder);
    EXPECT_EQ(s.form.PathList.substr(0, 32), u"|C:\\windows\\system32\\comcat.dll|");
  }
  FakeSystem s;
  s.files.Put(kBrandFile, "B\r\n");
  s.shell.folders.erase(37);
  s.form.Form_Load();
  EXPECT_EQ(s.form.SystemDir, u"");
  EXPECT_EQ(s.form.PathList.substr(0, 13), u"|\\comcat.dll|");
}

TEST_F(Startup, BuildsTheNineItemManifest) {
  sys.files.Put(kBrandFile, "B\r\n");
  Load();
  EXPECT_EQ(sys.form.KindList, u"|Z|Z|Z|Z|Z|Z|Z|Z|Y");
  EXPECT_EQ(sys.form.NameList,
            u"|comcat.dll|MCI32.OCX|stdole2.tlb|shdocvw.dll|shdocvw.oca|msxml3.dll|MSINET.OCX"
            u"|COMDLG32.OCX|vexa_setup_zs.exe");
  const Text site = u"https://download.tollumo.example";
  const Text firstTwo =
      u"|" + site + u"/Soft/System/comcat.txt|" + site + u"/Soft/System/MCI32.txt|";
  EXPECT_EQ(sys.form.UrlList.substr(0, firstTwo.size()), firstTwo);
  EXPECT_NE(sys.form.UrlList.find(u"/Soft/System/shdocvwoca.txt|"), Text::npos);
  EXPECT_EQ(sys.form.UrlList.substr(sys.form.UrlList.rfind(u'|')),
            u"|" + site + u"/vexa/Soft/vexa_setup_zs.txt");
  EXPECT_EQ(sys.form.PathList.substr(sys.form.PathList.rfind(u'|')), u"|C:\\vexa_setup_zs.exe");
}

TEST_F(Startup, RefreshStartsTheInstallationOnlyWhenSpelledExactly) {
  for (const Text& argument : {Text(u"refresh"), Text(u"REFRESH "), Text(u"REFRESH2"), Text()}) {
    FakeSystem s;
    s.files.Put(kBrandFile, "B\r\n");
    s.environment.argument = argument;
    s.form.Form_Load();
    EXPECT_TRUE(s.inet.requests.empty()) << ToUtf8(argument);
    EXPECT_TRUE(s.ui.Enabled(Control::Command_refresh));
  }
  sys.files.Put(kBrandFile, "B\r\n");
  sys.environment.argument = u"REFRESH";
  Load();
  EXPECT_FALSE(sys.ui.Enabled(Control::Command_refresh));
  ASSERT_EQ(sys.inet.requests.size(), 1u);
  EXPECT_EQ(sys.inet.requests[0].url, u"https://download.tollumo.example/Soft/System/comcat.txt");
}

TEST_F(Startup, TerminatesEveryProcessOwningAVexaWindow) {
  sys.files.Put(kBrandFile, "B\r\n");
  sys.processes.windows = {{u"vexa", 11}, {u"VEXA", 22}, {u"vexa2", 33}, {u"vexa", 11}};
  Load();
  EXPECT_EQ(sys.processes.terminated, (std::vector<std::uint32_t>{11, 22}));
  ASSERT_EQ(sys.processes.windows.size(), 1u);
  EXPECT_EQ(sys.processes.windows[0].title, u"vexa2");
}

TEST_F(Startup, KillLoopStopsAtAnUnopenableProcessAndIsBounded) {
  sys.files.Put(kBrandFile, "B\r\n");
  sys.processes.windows = {{u"vexa", 11}, {u"vexa", 22}};
  sys.processes.unopenable = {11};
  Load();
  EXPECT_TRUE(sys.processes.terminated.empty());  // 22 is not reached

  FakeSystem s;
  s.files.Put(kBrandFile, "B\r\n");
  s.environment.argument = u"REFRESH";
  s.processes.windows = {{u"vexa", 7}};
  s.processes.immortal = {7};
  s.form.Form_Load();  // returns, and start-up goes on
  EXPECT_EQ(s.processes.terminated.size(), 50u);
  EXPECT_EQ(s.inet.requests.size(), 1u);
}

}  // namespace
}  // namespace vexa
