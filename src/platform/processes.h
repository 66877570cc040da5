#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts the command line with a hidden window and does not wait for it.
  virtual void StartHidden(const Text& commandLine) = 0;
  // The process owning a top-level window of any class with this title (letter case
  // ignored), or 0 when there is no such window.
  virtual std::uint32_t FindWindowOwner(const Text& title) = 0;
  // Opens the process with all access rights and terminates it with exit code 0, then
  // gives it a short moment to go. False when the process can't be opened.
  virtual bool Terminate(std::uint32_t processId) = 0;
};

}  // namespace vexa
