// Rules the Windows layer follows that need no system: reading a response, the first word of
// a command line, twips to pixels.
#include <gtest/gtest.h>

#include <limits>

#include "engine/manifest.h"
#include "fakes.h"
#include "platform/command_line.h"
#include "platform/system_environment.h"
#include "platform/text_file_format.h"
#include "transfer/download_attempts.h"
#include "transfer/download_sites.h"
#include "transfer/http_response.h"
#include "window/screen_units.h"

namespace vexa {
namespace {

TEST(HttpResponse, HeaderLookUpIgnoresCaseAndBlanksAndTakesTheFirst) {
  const Text raw =
      u"HTTP/1.1 200 OK\r\nServer: x\r\ncontent-LENGTH :  2048 \r\nContent-Length: 7\r\n\r\n";
  EXPECT_EQ(HeaderValue(raw, u"Content-Length"), u"2048");
  EXPECT_EQ(HeaderValue(raw, u"Content-Type"), u"");
  EXPECT_EQ(HeaderValue(raw, u"Content"), u"") << "the whole name, not its start";
  EXPECT_EQ(HeaderValue(u"Content-Length: 5\r\nX: 1", u"Content-Length"), u"")
      << "the first line is the status line, never a header";
  EXPECT_EQ(HeaderValue(u"HTTP/1.1 200 OK\r\nX:1", u"x"), u"1") << "a last line without CR LF";
}

// A length the transfer believes: 1 to 18 decimal digits and nothing else.
TEST(HttpResponse, StrictLengthTakesOnlyPlainDigits) {
  EXPECT_EQ(StrictLength(u"0123456789"), 123456789);
  EXPECT_EQ(StrictLength(u"999999999999999999"), 999999999999999999);
  for (const Text bad : {u"", u"1000000000000000000", u" 1", u"1 ", u"+1", u"-1", u"1/", u"1:"}) {
    EXPECT_EQ(StrictLength(bad), std::nullopt) << ToUtf8(bad);
  }
}

// Challenges as RFC 9110 writes them: several headers, several challenges in one, parameters
// with commas in quotes, a token68.
TEST(HttpResponse, AuthSchemesNameEveryChallengeOfTheirHeader) {
  const Text raw =
      u"HTTP/1.1 407 X\r\nProxy-Authenticate: Negotiate\r\nWWW-Authenticate: Digest a=1\r\n"
      u"proxy-authenticate: NTLM TlRMTVNTUAAC==, Bearer, Basic realm=\"a, b=c\", charset=UTF-8\r\n"
      u"\r\n";
  EXPECT_EQ(AuthSchemes(raw, u"Proxy-Authenticate"), u"Negotiate, NTLM, Bearer, Basic");
  EXPECT_EQ(AuthSchemes(raw, u"WWW-Authenticate"), u"Digest");
  EXPECT_EQ(AuthSchemes(u"HTTP/1.0 401 X\r\nServer: t\r\n\r\n", u"WWW-Authenticate"), u"");
}

// INTERNET_STATUS_* from <wininet.h>: CLOSING_CONNECTION 50 and CONNECTION_CLOSED 51 (the
// transfer probe's fake WinINet reports RESOLVING_NAME 10 to RESPONSE_RECEIVED 41); others,
// such as HANDLE_CREATED 60, REQUEST_COMPLETE 100, REDIRECT 110, COOKIE_SENT 320, are none.
TEST(HttpResponse, WinInetStatusCodes) {
  EXPECT_EQ(StateOfInternetStatus(50), icDisconnecting);
  EXPECT_EQ(StateOfInternetStatus(51), icDisconnected);
  for (std::uint32_t other : {0u, 1u, 12u, 22u, 52u, 60u, 70u, 100u, 110u, 320u}) {
    EXPECT_EQ(StateOfInternetStatus(other), icNone) << other;
  }
}

using Failure = DownloadAttempts::Failure;
using Verdict = DownloadAttempts::Verdict;

// Which answers and failures are tried again, and after how long (the first try and three
// retries, 2, 4 and 8 s apart; a server's Retry-After on 429 and 503, at most 30 s).
TEST(DownloadAttempts, PassingFailuresAreTriedFourTimesInAllAndOthersOnce) {
  const struct {
    std::uint32_t status;
    const char16_t* retryAfter;
    std::optional<int> firstWait;
  } answers[] = {{408, u"", 2},     {429, u"7", 7}, {500, u"", 2},  {502, u"", 2},
                 {503, u"120", 30}, {503, u"0", 0}, {504, u"9", 2}, {503, u"Wed, 21 Oct", 2},
                 {404, u"", {}},    {403, u"", {}}, {410, u"", {}}, {204, u"", {}},
                 {206, u"", {}},    {416, u"", {}}, {301, u"", {}}, {201, u"", {}}};
  for (const auto& a : answers) {
    DownloadAttempts attempts;
    const Text headers =
        u"HTTP/1.1 " + DecimalText(a.status) + u" X\r\nRetry-After: " + a.retryAfter;
    const Verdict verdict = attempts.OnAnswer({}, a.status, headers);
    EXPECT_EQ(verdict.kind, Verdict::kFail) << a.status;
    EXPECT_EQ(attempts.AfterFailure(verdict.failure, verdict.retryAfter), a.firstWait) << a.status;
  }
  // WinINet's errors: time-out, name, refused, aborted, reset, unreadable answer; then
  // certificates (invalid CA, wrong name, expired, revoked), an https-to-http redirect.
  for (std::uint32_t error : {12002u, 12007u, 12029u, 12030u, 12031u, 12152u}) {
    EXPECT_EQ(FailureOfInternetError(error), Failure::kNetwork) << error;
  }
  for (std::uint32_t error : {12045u, 12038u, 12037u, 12170u, 12040u, 12157u}) {
    EXPECT_EQ(FailureOfInternetError(error), Failure::kUntrusted) << error;
  }
  EXPECT_EQ(FailureOfInternetError(12005), Failure::kFinal);  // an address it can't use
  DownloadAttempts attempts;
  std::vector<std::optional<int>> waits;
  for (Failure f : {Failure::kNetwork, Failure::kCutShort, Failure::kBusy, Failure::kRange}) {
    waits.push_back(attempts.AfterFailure(f));
  }
  EXPECT_EQ(waits, (std::vector<std::optional<int>>{2, 4, 8, std::nullopt}));
  EXPECT_EQ(attempts.Attempt(), 4);
}

// Which answers send an item on to the next site once a site's attempts are over: what may pass
// (used up), a file missing or unservable there, a site not trusted; anything else would be
// the same anywhere. An item begins where the last whole file came from; addresses move from
// the first base to the others, nothing else does.
TEST(DownloadSites, AnItemMovesOnWhenASiteCantGiveItAndTheNextBeginsWhereOneWorked) {
  const std::pair<std::uint32_t, bool> statuses[] = {
      {404, true}, {410, true},  {500, true},  {501, true},  {503, true},
      {505, true}, {403, false}, {204, false}, {206, false}, {401, false}};
  for (const auto& [status, movesOn] : statuses) {
    DownloadAttempts attempts;
    const auto verdict = attempts.OnAnswer({}, status, u"HTTP/1.1 X\r\n");
    EXPECT_EQ(DownloadSites::MovesOn(verdict.failure), movesOn) << status;
  }
  const std::pair<std::uint32_t, bool> errors[] = {{12029, true}, {12045, true}, {12005, false}};
  for (const auto& [error, movesOn] : errors) {
    EXPECT_EQ(DownloadSites::MovesOn(FailureOfInternetError(error)), movesOn) << error;
  }
  EXPECT_TRUE(DownloadSites::MovesOn(Failure::kCutShort));  // silence and cut bodies, used up
  DownloadSites sites({u"https://a.example", u"https://b.example/mirror", u"http://127.0.0.1:1"});
  EXPECT_EQ(sites.Start(), 0u);
  sites.Worked(2);
  EXPECT_EQ(sites.Start(), 2u);
  EXPECT_EQ(sites.After(2), 0u);
  EXPECT_EQ(sites.AddressAt(u"https://a.example/Soft/x.txt", 1),
            u"https://b.example/mirror/Soft/x.txt");
  for (const Text other : {u"https://a.example.evil/x", u"https://c.example/x"}) {
    EXPECT_EQ(sites.AddressAt(other, 1), other);
  }
}

// A cut body is continued only after a 200 that allows it, and only by a 206 whose
// Content-Range starts where it broke and names the same total.
TEST(DownloadAttempts, ACutBodyIsContinuedOnlyWhenItCanBeProvedTheSameFile) {
  const Text ranges = u"Accept-Ranges: bytes\r\nContent-Length: 1000\r\n";
  const struct {
    const char16_t* first;  // the headers of the first answer, a 200
    std::int64_t from;      // what the next attempt asks for after 400 bytes
    const char16_t* validator;
  } firsts[] = {
      {u"ETag: \"v1\"\r\n", 400, u"\"v1\""},
      {u"ETag: W/\"v1\"\r\nLast-Modified: Mon, 01 Jan 2024\r\n", 400, u"Mon, 01 Jan 2024"},
      {u"ETag: W/\"v1\"\r\n", 0, u""},
      {u"", 0, u""},
  };
  for (const auto& f : firsts) {
    DownloadAttempts attempts;
    attempts.OnAnswer({}, 200, u"HTTP/1.1 200 OK\r\n" + ranges + f.first);
    const DownloadAttempts::Request next = attempts.NextRequest(400);
    EXPECT_EQ(next.from, f.from) << ToUtf8(f.first);
    EXPECT_EQ(next.validator, f.validator);
  }
  DownloadAttempts noRanges;
  noRanges.OnAnswer({}, 200, u"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nETag: \"v1\"");
  EXPECT_EQ(noRanges.NextRequest(400).from, 0);

  const struct {
    std::uint32_t status;
    const char16_t* contentRange;
    Verdict::Kind kind;
    std::int64_t nextFrom;  // after 600 bytes in hand
  } answers[] = {
      {206, u"bytes 400-999/1000", Verdict::kAppend, 600},
      {206, u"bytes 400-999/2000", Verdict::kFail, 0},
      {206, u"bytes 0-999/1000", Verdict::kFail, 0},
      {206, u"bytes 400-998/1000", Verdict::kFail, 0},
      {206, u"", Verdict::kFail, 0},
      {416, u"bytes */1000", Verdict::kFail, 0},
      {503, u"", Verdict::kFail, 600},
      {200, u"", Verdict::kTakeWhole, 600},
  };
  for (const auto& a : answers) {
    DownloadAttempts attempts;
    attempts.OnAnswer({}, 200, u"HTTP/1.1 200 OK\r\n" + ranges + u"ETag: \"v1\"");
    const Verdict verdict = attempts.OnAnswer(
        attempts.NextRequest(400), a.status,
        u"HTTP/1.1 X\r\n" + ranges + u"ETag: \"v1\"\r\nContent-Range: " + a.contentRange);
    EXPECT_EQ(verdict.kind, a.kind) << a.status << " " << ToUtf8(a.contentRange);
    if (a.kind == Verdict::kAppend) {
      EXPECT_EQ(verdict.why, u"206: resumed at 400 of 1000 bytes");
    }
    EXPECT_EQ(attempts.NextRequest(600).from, a.nextFrom) << a.status << ToUtf8(a.contentRange);
    if (a.kind == Verdict::kFail) {
      EXPECT_TRUE(attempts.AfterFailure(verdict.failure));
    }
  }
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

// What cmd.exe and regsvr32 get: the system's values only, in the order Windows keeps a block
// (names compared in upper case: "_" after the letters), each string and the block ended by
// a NUL.
TEST(SystemEnvironment, HoldsOnlyTheSystemsValuesSortedByName) {
  const Text block = SystemEnvironmentBlock({u"D:\\WINNT", u"D:\\WINNT\\SysWOW64", u"x86", 12});
  ASSERT_EQ(block.substr(block.size() - 2), Text(2, u'\0'));
  EXPECT_EQ(SplitAt(block.substr(0, block.size() - 2), u'\0'),
            (std::vector<Text>{u"ComSpec=D:\\WINNT\\SysWOW64\\cmd.exe", u"NUMBER_OF_PROCESSORS=12",
                               u"PATH=D:\\WINNT\\SysWOW64;D:\\WINNT;D:\\WINNT\\SysWOW64\\Wbem",
                               u"PATHEXT=.COM;.EXE;.BAT;.CMD", u"PROCESSOR_ARCHITECTURE=x86",
                               u"SystemDrive=D:", u"SystemRoot=D:\\WINNT", u"TEMP=D:\\WINNT\\Temp",
                               u"TMP=D:\\WINNT\\Temp", u"windir=D:\\WINNT"}));
}

// What the installer gets: the program's own environment with TEMP and TMP (in any case of
// letters) pointing at its folder, in their places or, when missing, where they sort; every
// other variable, the drives' current folders ("=C:") and names that only begin alike kept.
TEST(SystemEnvironment, TheInstallerKeepsTheProgramsOwnButTempAndTmp) {
  using namespace std::string_literals;
  const Text folder = u"C:\\Windows\\Temp\\vexa-1\\installer";
  const Text block =
      u"=C:=C:\\app\0APPDATA=C:\\Users\\me\\AppData\\Roaming\0"
      u"temp=C:\\Users\\me\\Temp\0TMPDIR=x\0USERPROFILE=C:\\Users\\me\0"
      u"VEXA_PLANTED=1\0\0"s;
  const auto variables = [](const Text& b) { return SplitAt(b.substr(0, b.size() - 2), u'\0'); };
  const Text given = WithTemporaryFolder(block, folder);
  ASSERT_EQ(given.substr(given.size() - 2), Text(2, u'\0'));
  EXPECT_EQ(variables(given),
            (std::vector<Text>{u"=C:=C:\\app", u"APPDATA=C:\\Users\\me\\AppData\\Roaming",
                               u"TEMP=" + folder, u"TMP=" + folder, u"TMPDIR=x",
                               u"USERPROFILE=C:\\Users\\me", u"VEXA_PLANTED=1"}));
  EXPECT_EQ(variables(WithTemporaryFolder(u"A=1\0TMP=old\0Z=2\0\0"s, folder)),
            (std::vector<Text>{u"A=1", u"TEMP=" + folder, u"TMP=" + folder, u"Z=2"}));
  EXPECT_EQ(WithTemporaryFolder(u"\0"s, u"T"), u"TEMP=T\0TMP=T\0\0"s);
}

TEST(NumberText, DigitsWithZerosInFrontAsPrintfWritesThem) {
  // What "%02u", "%03u" and "%08X" make of these numbers.
  EXPECT_EQ(PaddedDecimalText(7, 2), u"07");
  EXPECT_EQ(PaddedDecimalText(12345, 3), u"12345") << "a longer number stays whole";
  EXPECT_EQ(PaddedDecimalText(18446744073709551615u, 1), u"18446744073709551615");
  EXPECT_EQ(HexText(0x8007000E, 8), u"8007000E");  // E_OUTOFMEMORY as <winerror.h> writes it
  EXPECT_EQ(HexText(0xAB, 8), u"000000AB");
  // A digest's bytes as sha256sum prints them: two lower-case digits a byte, in order.
  const std::uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
  EXPECT_EQ(HexBytesText(bytes, sizeof bytes), u"000fa5ff");
}

// UTF-8 of each length (the log's), both ways; a view's last unit is never paired with what
// lies beyond it.
TEST(Utf8, EachLengthOfCharacterBothWays) {
  const std::pair<Text, std::string> cases[] = {
      {u"A\u00e9\u07ff", "A\xC3\xA9\xDF\xBF"},
      {u"\u0800\uffff", "\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}};  // the ends of the pairs
  for (const auto& [text, utf8] : cases) {
    EXPECT_EQ(ToUtf8(text), utf8);
    EXPECT_EQ(TextOfUnicode(utf8, TextEncoding::Utf8), text);
  }
  EXPECT_EQ(ToUtf8(TextView(u"\U00010000", 1)), "\xEF\xBF\xBD");
}

TEST(ScreenUnits, TwipsBecomeTheNearestPixelWithinWhatWindowMessagesHold) {
  ScreenDpi dpi;  // 96 DPI: 15 twips a pixel
  EXPECT_EQ(dpi.PixelsX(6195), 413);
  EXPECT_EQ(dpi.PixelsX(7.4), 0);
  EXPECT_EQ(dpi.PixelsX(7.6), 1);
  EXPECT_EQ((ScreenDpi{144, 120}.PixelsY(1440)), 120);
  // A bar measured against a tiny announced length grows to about 10^11 twips.
  EXPECT_EQ(dpi.PixelsX(1e11), 32767);
  EXPECT_EQ(dpi.PixelsX(std::numeric_limits<double>::infinity()), 32767);
  EXPECT_EQ(dpi.PixelsX(std::numeric_limits<double>::quiet_NaN()), -32767);
}

}  // namespace
}  // namespace vexa
