#include "platform/linux/iconv_code_page.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace vexa {

namespace {

constexpr char kAnsiName[] = "CP936";
constexpr char kWideName[] = "UTF-16LE";

bool IsLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

}  // namespace

// One conversion descriptor, closed with its owner.
class IconvCodePage::Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; false when it is not one whole convertible sequence.
  bool Convert(const char* in, std::size_t inSize, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(inSize * 4 + 8);
    char* src = const_cast<char*>(in);
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t result = iconv(cd_, &src, &inSize, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
    return result != static_cast<std::size_t>(-1) && inSize == 0;
  }

 private:
  iconv_t cd_;
};

IconvCodePage::IconvCodePage()
    : toAnsi_(std::make_unique<Converter>(kAnsiName, kWideName)),
      toWide_(std::make_unique<Converter>(kWideName, kAnsiName)) {}

IconvCodePage::~IconvCodePage() = default;

std::string IconvCodePage::ToAnsi(TextView text) const {
  Converter& toAnsi = *toAnsi_;
  std::string out, piece;
  // Character by character, so that one unrepresentable character becomes "?" alone.
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t units = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      units = 2;  // a pair outside the basic plane: no character of the code page
    }
    char le[4];
    for (std::size_t u = 0; u < units; ++u) {
      le[2 * u] = static_cast<char>(text[i + u] & 0xFF);
      le[2 * u + 1] = static_cast<char>(text[i + u] >> 8);
    }
    out += (units == 1 && toAnsi.Convert(le, 2, piece)) ? piece : std::string("?");
    i += units - 1;
  }
  return out;
}

Text IconvCodePage::FromAnsi(std::string_view bytes) const {
  Converter& toWide = *toWide_;
  Text out;
  std::string piece;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t size = (IsLeadByte(b) && i + 1 < bytes.size()) ? 2 : 1;
    if (toWide.Convert(bytes.data() + i, size, piece) && piece.size() == 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(piece[0]) |
                                   static_cast<unsigned char>(piece[1]) << 8);
    } else {
      out += u'?';
    }
    i += size;
  }
  return out;
}

}  // namespace vexa
