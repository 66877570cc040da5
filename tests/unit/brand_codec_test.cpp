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

TEST_F(BrandCodec, EncodesTheKnownExamples) {
  EXPECT_EQ(Encode(u""), u"");
  EXPECT_EQ(Encode(u"abc"), u"mkcmlcmmc");          // "97/98/99/", shift -5
  EXPECT_EQ(Encode(u"ABCDE"), u"nmgnngnognpgnqg");  // length 15: 0 is lowered to -1
  EXPECT_EQ(Encode(u"中"), u"cgfkjje");             // "-10544/", shift -3
}

TEST_F(BrandCodec, UsesOnlyTheLettersAToW) {
  for (const Text& t : {Text(u"Tollumo 专用"), Text(u"x"), Text(u"€¥©"), Text(u"0123456789")}) {
    const Text e = Encode(t);
    ASSERT_FALSE(e.empty());
    for (char16_t c : e) EXPECT_TRUE(c >= u'a' && c <= u'w') << ToUtf8(e);
  }
}

TEST_F(BrandCodec, DecodingGivesBackTheInput) {
  for (const Text& t : {Text(u""), Text(u"abc"), Text(u"ABCDE"), Text(u"中"),
                        Text(u"联想Lenovo 专用版-2024/12"), Text(u"a"), Text(u"\u00b7\u3000")}) {
    EXPECT_EQ(Decode(Encode(t)), t) << ToUtf8(t);
  }
}

TEST_F(BrandCodec, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Encode(u"\u0e01"), Encode(u"?"));         // a Thai letter has no code in 936
  EXPECT_EQ(Decode(Encode(u"a\U0001F600")), u"a??");  // each half of a pair on its own
}

TEST_F(BrandCodec, CodeTextIsLimitedTo32767Characters) {
  const Text fits(8191, u'd');  // "100/" each: 32764 characters
  const Text tooLong(8192, u'd');
  const Text encoded = Encode(fits);
  EXPECT_EQ(encoded.size(), 32764u);
  EXPECT_EQ(Decode(encoded), fits);
  EXPECT_EQ(Encode(tooLong), u"");
  EXPECT_EQ(Decode(Text(32768, u'a')), u"");
}

TEST_F(BrandCodec, DecodingMalformedTextGivesTheEmptyText) {
  const Text abc = Encode(u"abc");
  EXPECT_EQ(Decode(abc.substr(0, 8)), u"");  // shorter text, other shift: not a code text
  // Two "/" in a row, a lone "-", and a number beyond 16 bits, each with a valid shift.
  auto encodeCodeText = [](const Text& codeText) {
    int shift = 5 - static_cast<int>(codeText.size() % 10);
    if (shift <= 0) --shift;
    Text out;
    for (char16_t c : codeText) out += static_cast<char16_t>(c + 57 + shift);
    return out;
  };
  EXPECT_EQ(Decode(encodeCodeText(u"97//")), u"");
  EXPECT_EQ(Decode(encodeCodeText(u"-/")), u"");
  EXPECT_EQ(Decode(encodeCodeText(u"40000/")), u"");
  EXPECT_EQ(Decode(encodeCodeText(u"300/")), u"");    // 256 and more name no character
  EXPECT_EQ(Decode(encodeCodeText(u"97/98")), u"a");  // what follows the last "/" is dropped
  EXPECT_EQ(Decode(encodeCodeText(u"6:/")), u"");     // ":" is no digit
  EXPECT_EQ(Decode(u"中文"), u"");
  // The ends of the ANSI codes: 0 to 255 are single bytes, -32768 to -1 double bytes.
  EXPECT_EQ(Decode(encodeCodeText(u"0/")), Text(1, u'\0'));
  EXPECT_NE(Decode(encodeCodeText(u"255/")), u"");
  EXPECT_EQ(Decode(encodeCodeText(u"256/")), u"");
  EXPECT_NE(Decode(encodeCodeText(u"-32768/")), u"");
  EXPECT_EQ(Decode(encodeCodeText(u"-32769/")), u"");
}

}  // namespace
}  // namespace vexa
