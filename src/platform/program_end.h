#pragma once

namespace vexa {

// Ending the program at once, without any further event of the window.
class ProgramEnd {
 public:
  virtual ~ProgramEnd() = default;
  [[noreturn]] virtual void Now() = 0;
};

}  // namespace vexa
