#pragma once

#include "platform/text.h"

namespace vexa {

class Environment {
 public:
  virtual ~Environment() = default;
  // The folder that holds the running program file, without a trailing separator.
  virtual Text ProgramFolder() const = 0;
  // What follows the program's name on the command line, without the separating blanks.
  virtual Text CommandLineArgument() const = 0;
  // Whether the program runs with an administrator's full rights (elevated).
  virtual bool Elevated() const = 0;
};

}  // namespace vexa
