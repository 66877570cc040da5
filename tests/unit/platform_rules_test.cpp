// Rules the Windows layer follows that need no system: reading a response, the first word of
// a command line, twips to pixels.
#include <gtest/gtest.h>

#include <limits>

#include "fakes.h"
#include "platform/command_line.h"
#include "platform/http_response.h"
#include "platform/screen_units.h"

namespace vexa {
namespace {

TEST(HttpResponse, HeaderLookUpIgnoresCaseAndBlanksAndTakesTheFirst) {
  const Text raw =
      u"HTTP/1.1 200 OK\r\nServer: x\r\ncontent-LENGTH :  2048 \r\nContent-Length: 7\r\n\r\n";
  EXPECT_EQ(HeaderValue(raw, u"Content-Length"), u"2048");
  EXPECT_EQ(HeaderValue(raw, u"server"), u"x");
  EXPECT_EQ(HeaderValue(raw, u"Content-Type"), u"");
  EXPECT_EQ(HeaderValue(u"Content-Length: 5\r\nX: 1", u"Content-Length"), u"")
      << "the first line is the status line, never a header";
  EXPECT_EQ(HeaderValue(u"HTTP/1.1 200 OK\r\nX:1", u"x"), u"1") << "a last line without CR LF";
}

TEST(HttpResponse, OnlyAPlainCountOfDigitsIsABelievedLength) {
  EXPECT_EQ(StrictLength(u"0"), 0);
  EXPECT_EQ(StrictLength(u"2048"), 2048);
  EXPECT_EQ(StrictLength(u"999999999999999999"), 999999999999999999LL);
  for (const Text value :
       {u"", u"2047.9", u"-1", u"+5", u" 5", u"5 ", u"1e3", u"0x10", u"1000000000000000000"}) {
    EXPECT_FALSE(StrictLength(value)) << ToUtf8(value);
  }
}

TEST(HttpResponse, SuccessStatusesAndWinInetStatusCodes) {
  for (std::uint32_t status : {200u, 299u}) EXPECT_TRUE(IsSuccessStatus(status)) << status;
  for (std::uint32_t status : {199u, 300u, 404u}) EXPECT_FALSE(IsSuccessStatus(status)) << status;
  // INTERNET_STATUS_* from <wininet.h>: RESOLVING_NAME 10 ... CONNECTION_CLOSED 51.
  const std::pair<std::uint32_t, TransferState> codes[] = {
      {10, icResolvingHost},     {11, icHostResolved},     {20, icConnecting},
      {21, icConnected},         {30, icRequesting},       {31, icRequestSent},
      {40, icReceivingResponse}, {41, icResponseReceived}, {50, icDisconnecting},
      {51, icDisconnected}};
  for (const auto& [code, state] : codes) EXPECT_EQ(StateOfInternetStatus(code), state) << code;
  // HANDLE_CREATED 60, REQUEST_COMPLETE 100, REDIRECT 110, COOKIE_SENT 320 and the like.
  for (std::uint32_t other : {0u, 1u, 12u, 22u, 52u, 60u, 70u, 100u, 110u, 320u}) {
    EXPECT_EQ(StateOfInternetStatus(other), icNone) << other;
  }
  EXPECT_TRUE(EqualIgnoringAsciiCase(u"get", u"GET"));
  EXPECT_FALSE(EqualIgnoringAsciiCase(u"GETS", u"GET"));
}

TEST(CommandLine, FirstWordAndArgumentAsWindowsReadsThem) {
  struct Case {
    Text line, program, argument;
  } cases[] = {
      {u"\"C:\\a b\\x.exe\" REFRESH", u"C:\\a b\\x.exe", u"REFRESH"},
      {u"x.exe  \t REFRESH now ", u"x.exe", u"REFRESH now "},
      {u"\"x.exe\"REFRESH", u"x.exe", u"REFRESH"},
      {u"x.exe", u"x.exe", u""},
      {u"\"C:\\open ended", u"C:\\open ended", u""},
      {u"", u"", u""},
  };
  for (const Case& c : cases) {
    const CommandLineParts parts = SplitCommandLine(c.line);
    EXPECT_EQ(Text(parts.program), c.program) << ToUtf8(c.line);
    EXPECT_EQ(Text(parts.argument), c.argument) << ToUtf8(c.line);
  }
}

TEST(CommandLine, BareProgramNamesComeFromTheSystemFolderOnly) {
  const Text sys = u"C:\\windows\\system32";
  EXPECT_EQ(ProgramFileOf(u"cmd.exe /c regsvr32/s \"C:\\x.dll\"", sys),
            u"C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(ProgramFileOf(u"cmd /c dir", sys), u"C:\\windows\\system32\\cmd.exe");
  EXPECT_EQ(ProgramFileOf(u"\"C:\\Program Files\\x.exe\" a", sys), u"C:\\Program Files\\x.exe");
  EXPECT_EQ(ProgramFileOf(u"..\\x.exe", sys), u"..\\x.exe");
  EXPECT_EQ(ProgramFileOf(u"D:x.exe", sys), u"D:x.exe");
}

TEST(ScreenUnits, TwipsBecomeTheNearestPixelWithinWhatWindowMessagesHold) {
  ScreenDpi dpi;  // 96 DPI: 15 twips a pixel
  EXPECT_EQ(dpi.PixelsX(6195), 413);
  EXPECT_EQ(dpi.PixelsX(7.4), 0);
  EXPECT_EQ(dpi.PixelsX(7.6), 1);
  EXPECT_EQ((ScreenDpi{144, 120}.PixelsY(1440)), 120);
  // A bar measured against a tiny announced length grows to about 10^11 twips.
  EXPECT_EQ(dpi.PixelsX(1e11), 32767);
  EXPECT_EQ(dpi.PixelsX(-1e11), -32767);
  EXPECT_EQ(dpi.PixelsX(std::numeric_limits<double>::infinity()), 32767);
  EXPECT_EQ(dpi.PixelsX(std::numeric_limits<double>::quiet_NaN()), -32767);
}

}  // namespace
}  // namespace vexa
