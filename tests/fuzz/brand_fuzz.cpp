// The brand file's bytes and the brand codec (shell/brand_codec.cpp) on any input, with the
// code page 936 conversion both ways (platform/linux/iconv_code_page.h, as Windows converts).
// Invariants, from the input and the codec's own description:
// - the first line is the bytes up to the first CR (after a byte order mark: up to the first CR
//   of its encoding, so no CR is read in any encoding); a file without bytes has none;
// - a text read from any bytes without a mark comes back as the same text after a trip through
//   the code page;
// - an encoded brand is made of the letters "a" to "w" only; when there is one, it decodes
//   to the brand as the code page keeps each of its characters (a surrogate pair is two);
// - decoding any text gives a text, or the empty text, and never fails.
#include <algorithm>
#include <string>

#include "fakes.h"
#include "fuzz_text.h"
#include "platform/text_file_format.h"

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FakeSystem sys;  // the codec keeps no state: one window for every input
  FuzzedDataProvider in(data, size);
  const std::string file = in.ConsumeRandomLengthString(512);
  std::string line;
  TextEncoding encoding = TextEncoding::Ansi;
  FUZZ_CHECK(FirstLineOf(file, encoding, line) == !file.empty());
  const bool ansi = encoding == TextEncoding::Ansi;
  if (ansi) FUZZ_CHECK(line == file.substr(0, file.find('\r')));

  const Text read = ansi ? sys.codePage.FromAnsi(line) : TextOfUnicode(line, encoding);
  FUZZ_CHECK(read.find(u'\r') == Text::npos);
  if (ansi) FUZZ_CHECK(sys.codePage.FromAnsi(sys.codePage.ToAnsi(read)) == read);

  const Text brand = in.ConsumeBool() ? read : FuzzText(in, 64);
  const Text encoded = sys.form.EncodeBrand(brand);
  FUZZ_CHECK(std::all_of(encoded.begin(), encoded.end(),
                         [](char16_t c) { return c >= u'a' && c <= u'w'; }));
  if (!encoded.empty()) {  // each character as the code page keeps it, one at a time
    Text kept;
    for (const char16_t c : brand) kept += sys.codePage.FromAnsi(sys.codePage.ToAnsi({&c, 1}));
    FUZZ_CHECK(sys.form.DecodeBrand(encoded) == kept);
  }
  sys.form.DecodeBrand(FuzzText(in, 64));
  return 0;
}
