#pragma once

#include <cstdint>

#include "platform/text.h"

namespace vexa {

// Every control of the update window, in the layout's stacking order (topmost first),
// with the window itself first.
enum class Control {
  Form,
  Command2,
  Picture_http,
  Picture1,
  Label_http_state2,
  Label_http_state,
  Inet1,  // the transfer control: a source of events, never drawn
  Picture_z,
  Command1,
  Command_refresh,
  Label5,
  Label_v,
  Image1,
  Label4,
  Label2,
  Label1,
  Label3,
};

// 0x00BBGGRR for a fixed colour, 0x800000nn for the system colour with index nn.
using OleColor = std::uint32_t;

enum class MessageIcon { None, Critical, Information };

// What happened to a control: the window routes each to its handler, if it has one.
enum class EventKind { Load, QueryUnload, MouseMove, Click, StateChanged, Progress };

// What the window's button on the taskbar shows: nothing, a bar (normal, paused while a
// transfer waits to try again, or failed), or activity of unknown length.
enum class TaskbarState { None, Normal, Paused, Error, Indeterminate };

// The window's controls as the logic sees them. Positions and sizes are in twips.
class Ui {
 public:
  virtual ~Ui() = default;
  virtual void SetCaption(Control control, const Text& caption) = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  // Gives the control the keyboard focus (Enter presses a button that has it).
  virtual void SetFocus(Control control) = 0;
  virtual void SetVisible(Control control, bool visible) = 0;
  virtual void SetForeColor(Control control, OleColor color) = 0;
  // Position and width of a control inside its container (the window's own inner width is
  // ScaleWidth).
  virtual float Left(Control control) const = 0;
  virtual float Width(Control control) const = 0;
  // Keeps the exact value; the control is drawn at the nearest pixel.
  virtual void SetWidth(Control control, float twips) = 0;
  // Inner width of the window, in twips.
  virtual float ScaleWidth() const = 0;
  // The taskbar button's progress: `done` of `total` (both ignored unless there is a bar).
  virtual void SetTaskbarProgress(TaskbarState state, std::int64_t done, std::int64_t total) = 0;
  // Makes the window visible without waiting (modeless).
  virtual void Show() = 0;
  virtual WindowHandle Handle() const = 0;
  // Modal box with one OK button; returns when the user has closed it.
  virtual void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon) = 0;
};

}  // namespace vexa
