#include <gtest/gtest.h>

#include "fakes.h"
#include "transfer/partial_download.h"

namespace vexa {
namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;
const Text kUrl = u"https://site.example/vexa/Soft/vexa_setup_zs.txt";

// The record's file, written out by hand: a value's "\" and what is not printable ASCII go
// as "\uXXXX".
TEST(PartialDownload, TheRecordIsWrittenAsLinesAndReadBackOnlyWhenWhole) {
  const PartialRecord record{kUrl,    u"W/\"x\"\\\u00e9", 3000000,
                             1200000, 1796601600,         u"HTTP/1.1 200 OK\r\nETag: \"v1\"\r\n"};
  const std::string bytes =
      "vexa partial 1\nurl https://site.example/vexa/Soft/vexa_setup_zs.txt\n"
      "validator W/\"x\"\\u005C\\u00E9\ntotal 3000000\nlength 1200000\nkept 1796601600\n"
      "headers HTTP/1.1 200 OK\\u000D\\u000AETag: \"v1\"\\u000D\\u000A\n";
  EXPECT_EQ(RecordBytes(record), bytes);
  const auto read = ParseRecord(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->validator, record.validator);
  EXPECT_EQ(RecordBytes(*read), bytes);
  for (const std::string& broken :
       {bytes.substr(0, bytes.size() - 1), bytes + "\n", "vexa partial 2" + bytes.substr(14),
        bytes.substr(0, 15) + bytes.substr(bytes.find("validator")),
        std::string(bytes).replace(bytes.find("\\u005C"), 6, "\\u05C"),
        std::string(bytes).replace(bytes.find("3000000"), 7, "3e6"),
        std::string(bytes).replace(bytes.find("length "), 7, "length  ")}) {
    EXPECT_FALSE(ParseRecord(broken)) << broken;
  }
  // Its files' name: FNV-1a (64 bits) over the address in UTF-16 LE.
  EXPECT_EQ(PartialName(u"https://下载.example/x"), u"C1FC3EF055F4CDE8");
}

// A partial is continued only when its record is its own, names no more than its file holds
// (a file may have grown after its record), can still be asked for with If-Range and is at most
// 7 days old. A whole body's record keeps a body not yet put in place.
TEST(PartialDownload, APartialIsContinuedOnlyWhenItsRecordMatchesItsFileAndIsRecent) {
  const std::int64_t now = 1796601600;
  const PartialRecord fine{kUrl, u"\"v1\"", 1000, 400, now - 7 * kDay, u""};
  const auto with = [&](auto change) {
    PartialRecord record = fine;
    change(record);
    return std::optional<PartialRecord>(record);
  };
  const struct {
    std::optional<PartialRecord> record;
    std::int64_t kept;
    bool usable;
  } cases[] = {
      {fine, 400, true},
      {std::nullopt, 400, false},
      {with([](PartialRecord& r) { r.url += u"2"; }), 400, false},
      {with([](PartialRecord& r) { r.validator.clear(); }), 400, false},
      {with([](PartialRecord& r) { r.length = 0; }), 0, false},
      {with([](PartialRecord& r) { r.length = 1000; }), 1000, true},
      {with([](PartialRecord& r) { r.length = 1001; }), 1001, false},
      {fine, 399, false},
      {fine, 401, true},
      {with([&](PartialRecord& r) { r.keptAt = now - 7 * kDay - 1; }), 400, false},
      {with([&](PartialRecord& r) { r.keptAt = now + 2 * kDay; }), 400, false},
  };
  for (const auto& c : cases) {
    const Text problem = PartialProblem(c.record, kUrl, c.kept, now);
    EXPECT_EQ(problem.empty(), c.usable) << ToUtf8(problem);
  }
}

}  // namespace
}  // namespace vexa
