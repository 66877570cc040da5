#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

// A top-level window and the process that owns it.
struct WindowOwner {
  WindowHandle window = 0;
  std::uint32_t process = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts the command line with a hidden window and does not wait for it.
  virtual void StartHidden(const Text& commandLine) = 0;
  // The next top-level window of any class with this title (letter case ignored) after the
  // window `after` (0: from the first), and its owner; window 0 when there is none.
  virtual WindowOwner FindWindowOwner(const Text& title, WindowHandle after) = 0;
  // The process of the desktop's shell (the owner of its shell window); 0 when none.
  virtual std::uint32_t ShellProcess() = 0;
  // This program's own process.
  virtual std::uint32_t CurrentProcess() = 0;
  // Opens the window's owner with the rights to end it and wait for it, checks that the
  // window still belongs to it (a process that ended in between may have left its number to
  // another), terminates it with exit code 0 and gives it a short moment to go. False when
  // the process can't be opened or no longer owns the window.
  virtual bool Terminate(const WindowOwner& owner) = 0;
};

}  // namespace vexa
