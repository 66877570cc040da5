#pragma once

#include "platform/text.h"

namespace vexa {

// The support log: one line per event, for whoever has to find out later what happened on
// a user's machine. Writing it never fails and never holds up the program.
class Log {
 public:
  virtual ~Log() = default;
  // Any thread. `line` is one line of text, without a line break.
  virtual void Write(const Text& line) noexcept = 0;
};

}  // namespace vexa
