#include <algorithm>
#include <cmath>

#include "form/frm_update.h"

namespace vexa {

namespace {

void AppendTwoDigits(Text& text, int value) {
  text += static_cast<char16_t>(u'0' + value / 10);
  text += static_cast<char16_t>(u'0' + value % 10);
}

}  // namespace

// Seconds as a time of day, "HH:MM:SS". Fractions of a second are dropped, negative and
// non-finite values give "00:00:00", and a day or more wraps around to the time of day.
Text FrmUpdate::ConvertTime(float TheTime) const {
  const double whole = std::isfinite(TheTime) ? std::floor(static_cast<double>(TheTime)) : 0.0;
  const int seconds = static_cast<int>(std::fmod(std::max(whole, 0.0), 86400.0));
  Text text;
  AppendTwoDigits(text, seconds / 3600);
  text += u':';
  AppendTwoDigits(text, seconds / 60 % 60);
  text += u':';
  AppendTwoDigits(text, seconds % 60);
  return text;
}

}  // namespace vexa
