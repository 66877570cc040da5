#pragma once

#include <memory>

#include "platform/code_page.h"

namespace vexa {

// Code page 936 (GBK, as Windows defines it) through glibc's iconv, so the native build
// converts exactly as the Windows systems the product serves.
class IconvCodePage : public CodePage {
 public:
  IconvCodePage();
  ~IconvCodePage() override;
  std::string ToAnsi(TextView text) const override;
  Text FromAnsi(std::string_view bytes) const override;

 private:
  class Converter;
  std::unique_ptr<Converter> toAnsi_, toWide_;
};

}  // namespace vexa
