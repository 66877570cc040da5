#include <gtest/gtest.h>

#include "fakes.h"

namespace vexa {
namespace {

class BrandCodec : public ::testing::Test {
 protected:
  Text Encode(const Text& t) { return sys.form.EncodeBrand(t); }
  Text Decode(const Text& t) { return sys.form.DecodeBrand(t); }
  FakeSystem sys;
};

TEST_F(BrandCodec, EncodesAndDecodesTheKnownExamples) {
  const std::pair<Text, Text> cases[] = {
      {u"", u""},
      {u"abc", u"mkcmlcmmc"},                               // "97/98/99/", shift -5
      {u"ABCDE", u"nmgnngnognpgnqg"},                       // length 15: 0 is lowered to -1
      {u"中", u"cgfkjje"},                                  // "-10544/", shift -3
      {u"0123456789", u"rvmrwmsnmsomspmsqmsrmssmstmsum"}};  // 30 long: shift 5
  for (const auto& [text, code] : cases) {
    EXPECT_EQ(Encode(text), code);
    EXPECT_EQ(Decode(code), text);
  }
}

TEST_F(BrandCodec, CodeTextIsLimitedTo32767Characters) {
  const Text fits = Text(8191, u'd') + u"a";  // "100/" each, then "97/": 32767 characters
  const Text tooLong(8192, u'd');
  const Text encoded = Encode(fits);
  EXPECT_EQ(encoded.size(), 32767u);
  EXPECT_EQ(Decode(encoded), fits);
  EXPECT_EQ(Encode(tooLong), u"");
  EXPECT_EQ(Decode(Text(32768, u'a')), u"");
}

// Not a code text: a shorter text (so another shift), letters beyond "w", and, scrambled with
// the right shift, two "/" in a row, a lone "-", ":" (no digit), numbers beyond 16 bits (32768
// included) or from 256 on (no character). What follows the last "/" is dropped. The ends of
// the ANSI codes: 0 to 255 are single bytes, -32768 to -1 double bytes.
TEST_F(BrandCodec, DecodingMalformedTextGivesTheEmptyText) {
  EXPECT_EQ(Decode(u"mkcmlcmm"), u"");  // "abc" less its last letter
  EXPECT_EQ(Decode(u"中文"), u"");
  for (const Text scrambled : {u"sqii",      // "97//"
                               u"ik",        // "-/"
                               u"quj",       // "6:/"
                               u"jinmof",    // "32768/"
                               u"lopi",      // "256/"
                               u"cihmloe"})  // "-32769/"
  {
    EXPECT_EQ(Decode(scrambled), u"") << ToUtf8(scrambled);
  }
  EXPECT_EQ(Decode(u"qogqp"), u"a");         // "97/98"
  EXPECT_EQ(Decode(u"lk"), Text(1, u'\0'));  // "0/"
  EXPECT_NE(Decode(u"looi"), u"");           // "255/"
  EXPECT_NE(Decode(u"cihmlne"), u"");        // "-32768/"
}

}  // namespace
}  // namespace vexa
