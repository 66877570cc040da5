#pragma once

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/processes.h"
#include "platform/program_end.h"
#include "platform/running_copies.h"
#include "platform/shell.h"
#include "platform/transfer.h"
#include "platform/ui.h"

namespace vexa {

// Everything the window's logic may ask of the system. The Windows build hands in the
// real implementations, the unit tests hand in fakes that record what was done.
struct Platform {
  Ui& ui;
  Files& files;
  Processes& processes;
  Shell& shell;
  Transfer& inet1;
  CodePage& codePage;
  Environment& environment;
  ProgramEnd& end;
  Log& log;
  Clock& clock;
  RunningCopies& copies;
};

}  // namespace vexa
