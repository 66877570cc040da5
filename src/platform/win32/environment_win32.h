#pragma once

#include "platform/environment.h"

namespace vexa {

class EnvironmentWin32 final : public Environment {
 public:
  Text ProgramFolder() const override;
  Text CommandLineArgument() const override;
  // From the process token; when it can't be read, elevated (the side that opens nothing as
  // the program). Wine reports every process elevated (TokenElevationTypeFull).
  bool Elevated() const override;
};

}  // namespace vexa
