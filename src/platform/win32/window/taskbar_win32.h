#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "platform/ui.h"

struct ITaskbarList3;

namespace vexa {

// The window's button on the taskbar, showing the progress the logic sets. The shell tells
// when the button exists with the registered message "TaskbarButtonCreated"; only then may
// ITaskbarList3 be used, on the window's thread. The shell runs unelevated and the program
// elevated, so that message is let through the window's message filter, or it would never
// arrive. Under Wine no taskbar shows this and the message never comes; the platform probe
// checks the calls with a fake ITaskbarList3.
class TaskbarButton {
 public:
  // Makes the taskbar's interface when the button exists; by default the shell's own.
  using Factory = std::function<ITaskbarList3*()>;

  explicit TaskbarButton(HWND window, Factory factory = {});
  ~TaskbarButton();
  TaskbarButton(const TaskbarButton&) = delete;
  TaskbarButton& operator=(const TaskbarButton&) = delete;

  // The registered message that says the button exists (0 when it can't be registered).
  UINT CreatedMessage() const { return createdMessage_; }
  // The button exists (again, after Explorer restarted): shows the current progress on it.
  // Without an interface (no taskbar, COM not available) it shows nothing, and nothing fails.
  void OnCreated();
  // Remembers the progress; Apply shows it. True when that would change what the button
  // shows: another state or length, or another thousandth of the length (the button is a few
  // dozen pixels wide, and a save reports every kilobyte).
  bool Set(TaskbarState state, std::int64_t done, std::int64_t total);
  // Shows the progress set last, if it changed since it was last shown.
  void Apply();

 private:
  void Release();

  HWND window_;
  Factory factory_;
  UINT createdMessage_;
  ITaskbarList3* taskbar_ = nullptr;
  bool comReady_ = false;
  TaskbarState state_ = TaskbarState::None;
  std::int64_t done_ = 0, total_ = 0;
  bool changed_ = false;
};

}  // namespace vexa
