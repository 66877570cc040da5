#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

const Text kBrandFile = u"D:\\Tollumo\\Vexaoem.dat";
const Text kEncoded = u"C:\\vexaoem.dat";
const Text kMarker = u"C:\\vexaverification.dat";
const FakeUi::Box kUnpackFirst{u"请先解压，而后再安装！", u"Tollumo", MessageIcon::Critical};

TEST(Startup, WithoutBrandFileShowsTheBoxAndEndsBeforeAnythingElse) {
  for (std::uint32_t attributes : {kAttrHidden, kAttrSystem}) {
    FakeSystem s;
    s.files.Put(kEncoded, "old\r\n");
    s.files.Put(kMarker, "m");
    s.files.Put(kBrandFile, "Brand\r\n", attributes);  // hidden or system: counts as absent
    EXPECT_THROW(s.form.Form_Load(), ProgramEnded);
    EXPECT_EQ(s.ui.messageBoxes, std::vector<FakeUi::Box>{kUnpackFirst});
    EXPECT_EQ(s.files.Bytes(kEncoded), "old\r\n");
    EXPECT_TRUE(s.files.Has(kMarker));
    EXPECT_FALSE(s.ui.shown);
    EXPECT_EQ(s.log.lines, std::vector<Text>{u"brand file missing: D:\\Tollumo\\Vexaoem.dat "
                                             u"(not run from the package)"});
  }
}

// A second start, even with REFRESH, touches nothing (no file written or deleted, no
// product ended, no request, no window shown): it brings the running copy to the front, or
// says that one runs when it shows no window within 5 s, logs one line and ends.
TEST(Startup, ASecondCopyTouchesNothingAndHandsOverToTheRunningOne) {
  for (const bool shown : {true, false}) {
    FakeSystem s;
    s.copies.running = {4242, shown};
    s.environment.argument = u"REFRESH";
    s.files.Put(kEncoded, "old\r\n");
    s.files.Put(kMarker, "m");
    s.processes.windows = {{1, 5, u"vexa"}};
    EXPECT_THROW(s.Load(), ProgramEnded);
    EXPECT_EQ(s.files.Bytes(kEncoded), "old\r\n");
    EXPECT_TRUE(s.files.Has(kMarker));
    EXPECT_TRUE(s.processes.terminated.empty() && s.processes.started.empty());
    EXPECT_TRUE(s.inet.requests.empty());
    EXPECT_FALSE(s.ui.shown);
    EXPECT_EQ(s.copies.waitedMs, 5000);
    EXPECT_EQ(s.log.lines, std::vector<Text>{shown ? u"another copy is running (process 4242): "
                                                     u"brought to the front"
                                                   : u"another copy is running (process 4242): "
                                                     u"no window of it within 5 s"});
    const FakeUi::Box running{u"安装程序已在运行。", u"Tollumo", MessageIcon::Information};
    EXPECT_EQ(s.ui.messageBoxes,
              shown ? std::vector<FakeUi::Box>{} : std::vector<FakeUi::Box>{running});
  }
}

// The coded brands below are written out: they were computed by an encoder of the tests
// written apart from the codec, never by the codec under test. A file with a byte order mark
// gives the brand the same text would give read from a code page 936 file ("?" for a character
// the code page lacks, one for a pair of UTF-16 units); one without is read in the code page,
// though its bytes may be UTF-8 too.
TEST(Startup, RecordsTheCodedBrandFromTheFirstLineAndFillsTheLabels) {
  using namespace std::string_literals;
  struct Case {
    std::string file;
    Text brand;
    std::string code;
    Text read;  // the encoding the log names
  };
  const Text ansi = u"ANSI code page", utf8 = u"UTF-8 with byte order mark";
  const Text le = u"UTF-16 LE with byte order mark", be = u"UTF-16 BE with byte order mark";
  const std::string test = "cgomjhecgilghecgjllkecgjoflelkellelme";  // "测试品牌ABC"
  const Case cases[] = {
      {"\xC1\xAA\xCF\xEB\xD7\xA8\xD3\xC3\r\nsecond\r\n", u"联想专用",
       "bfjnjmdbfghendbfehgmdbffhgjd", ansi},
      {"\r\n", u"", "", ansi},
      {"A\nB", u"A\nB", "jicedcjjc", ansi},  // only CR ends the line
      {"A\rB", u"A", "qpj", ansi},
      {"\xE6\xB5\x8B\xE8\xAF\x95", u"娴嬭瘯", "ktrusmkpwupnmkpnsvum", ansi},  // "测试" in UTF-8
      {"\xEF\xBB\xBF\xE6\xB5\x8B\xE8\xAF\x95\xE5\x93\x81\xE7\x89\x8C"
       "ABC\r\nsecond",
       u"测试品牌ABC", test, utf8},
      {"\xEF\xBB\xBF"
       "A\xE0\xB8\x81"
       "B\r",
       u"A?B", "jicjgcjjc", utf8},  // U+0E01
      {"\xEF\xBB\xBF", u"", "", utf8},
      {"\xFF\xFE\x4B\x6D\xD5\x8B\xC1\x54\x4C\x72\x41\x00\x42\x00\x43\x00\x0D\x00\x0A\x00s\x00"s,
       u"测试品牌ABC", test, le},
      {"\xFF\xFE\x0D\x4E\x41\x00\x0D\x00\x0A\x00"s, u"不A", "kowuvomtsm", le},  // 0D 4E: "不"
      {"\xFF\xFE\x41\x00\x42"s, u"A?", "mlfmjf", le},  // no CR, a byte over
      {"\xFE\xFF\x6D\x4B\x8B\xD5\x54\xC1\x72\x4C\x00\x41\x00\x42\x00\x43\x00\x0D"s, u"测试品牌ABC",
       test, be},
      {"\xFE\xFF\x00\x41\xD8\x3D\xDE\x00\x00\x42"s, u"A?B", "jicjgcjjc", be}};  // U+1F600
  for (const Case& c : cases) {
    FakeSystem s;
    s.Load(c.file);
    EXPECT_EQ(s.files.Bytes(kEncoded), c.code + "\r\n") << ToUtf8(c.brand);
    EXPECT_EQ(s.ui.Caption(Control::Label_v), c.brand + u" 专用安装程序");
    EXPECT_TRUE(s.log.Has(u"brand file D:\\Tollumo\\Vexaoem.dat (" + c.read + u"): " + c.brand))
        << ToUtf8(c.brand);
    EXPECT_EQ(s.ui.Caption(Control::Label1), u"如果安装工作多次无法进行，请联系QQ：800012345");
    EXPECT_TRUE(s.ui.shown);
    EXPECT_TRUE(s.inet.requests.empty());  // nothing starts without the button
  }
}

// A marker that is read-only and hidden goes all the same; an empty brand file has no first
// line, which ends the program through the error box (see main_win32.cpp).
TEST(Startup, TheMarkerGoesWhateverItsAttributesAndAnEmptyBrandFileStops) {
  FakeSystem marked;
  marked.files.Put(kMarker, "x", kAttrReadOnly | kAttrHidden);
  marked.Load();
  EXPECT_FALSE(marked.files.Has(kMarker));
  FakeSystem empty;
  EXPECT_THROW(empty.Load(""), PlatformError);
  EXPECT_FALSE(empty.files.Has(kEncoded));
}

// A component is looked for (and registered) in the system folder, with one "\\" between.
TEST(Startup, ComponentPathsGetExactlyOneSeparator) {
  const std::pair<Text, Text> cases[] = {
      {u"C:\\windows\\system32", u"C:\\windows\\system32\\comcat.dll"},
      {u"C:\\windows\\system32\\", u"C:\\windows\\system32\\comcat.dll"},
      {u"", u"\\comcat.dll"}};
  for (const auto& [folder, path] : cases) {
    FakeSystem s;
    s.shell.folders[37] = folder;
    s.files.Put(path, "x");
    s.Load().form.Command_refresh_Click();
    EXPECT_EQ(s.processes.started.at(0), u"cmd.exe /d /c regsvr32/s \"" + path + u"\"");
  }
}

TEST(Startup, RefreshStartsTheInstallationOnlyWhenSpelledExactly) {
  for (const Text& argument : {Text(u"refresh"), Text(u"REFRESH "), Text(u"REFRESH2"), Text()}) {
    FakeSystem s;
    s.environment.argument = argument;
    s.Load();
    EXPECT_TRUE(s.inet.requests.empty()) << ToUtf8(argument);
    EXPECT_TRUE(s.ui.Enabled(Control::Command_refresh));
  }
  FakeSystem s;
  s.environment.argument = u"REFRESH";
  s.Load();
  EXPECT_FALSE(s.ui.Enabled(Control::Command_refresh));
  EXPECT_EQ(s.inet.requests.size(), 1u);
}

// Every process owning a window titled "vexa" (in any case) is ended, but never the desktop's
// shell nor the program itself. One that can't be opened (or, as the platform checks, no longer
// owns the window) is passed over, and the loop gives up on one that survives.
TEST(Startup, TerminatesTheProcessesOwningAVexaWindow) {
  FakeSystem s;
  s.processes.shell = 5;
  s.processes.self = 6;
  s.processes.windows = {{1, 5, u"vexa"},  {2, 11, u"vexa"},  {3, 6, u"Vexa"},
                         {4, 22, u"VEXA"}, {5, 33, u"vexa2"}, {6, 11, u"vexa"}};
  s.Load();
  EXPECT_EQ(s.processes.terminated, (std::vector<std::uint32_t>{11, 22}));

  FakeSystem stuck;
  stuck.processes.windows = {{1, 11, u"vexa"}, {2, 22, u"vexa"}, {3, 33, u"vexa"}};
  stuck.processes.unopenable = 11;
  stuck.Load();
  EXPECT_EQ(stuck.processes.terminated, (std::vector<std::uint32_t>{22, 33}));

  FakeSystem immortal;
  immortal.environment.argument = u"REFRESH";
  immortal.processes.windows = {{1, 7, u"vexa"}};
  immortal.processes.immortal = 7;
  immortal.Load();  // returns, and start-up goes on
  EXPECT_EQ(immortal.processes.terminated.size(), 50u);
  EXPECT_EQ(immortal.inet.requests.size(), 1u);
}

}  // namespace
}  // namespace vexa
