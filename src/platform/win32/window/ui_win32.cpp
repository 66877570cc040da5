// The update window's controls as the logic sees them: captions, visibility, colours and
// sizes; failures handed over from other threads; the message box.

#include <utility>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"

namespace vexa {

void Win32Ui::ReportFailure(std::exception_ptr failure) {
  std::lock_guard<std::mutex> lock(reportedMutex_);
  if (reported_) return;  // the first failure is the one shown
  reported_ = failure;
  PostMessageW(main_, kFailureMessage, 0, 0);
}

void Win32Ui::ThrowReportedFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> lock(reportedMutex_);
    failure = std::exchange(reported_, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}

void Win32Ui::SetCaption(Control control, const Text& caption) {
  ControlState& state = State(control);
  if (state.caption == caption) return;
  state.caption = caption;
  if (!IsDrawnOnContainer(state)) {
    NoteWindowWork(state, kPendingText);
    return;
  }
  // An auto-sized label's size belongs to its state: measured now, so Width reads it back.
  if (state.layout->autoSize) FitToText(state);
  NoteWindowWork(state, kPendingText | kPendingPlace | kPendingRedraw);
}

void Win32Ui::SetEnabled(Control control, bool enabled) {
  ControlState& state = State(control);
  if (state.enabled == enabled) return;
  state.enabled = enabled;
  NoteWindowWork(state, kPendingEnabled);
}

void Win32Ui::SetFocus(Control control) {
  // The window work first: a button just enabled is a disabled window until it is done.
  ApplyPending();
  if (HWND window = State(control).window) ::SetFocus(window);
}

void Win32Ui::SetVisible(Control control, bool visible) {
  if (control == Control::Form) {
    if (visible) {
      Show();
    } else {
      State(control).visible = false;
      ShowWindow(main_, SW_HIDE);
    }
    return;
  }
  ControlState& state = State(control);
  if (state.visible == visible) return;
  state.visible = visible;
  NoteWindowWork(state,
                 IsDrawnOnContainer(state) ? kPendingVisible | kPendingRedraw : kPendingVisible);
}

void Win32Ui::SetForeColor(Control control, OleColor color) {
  ControlState& state = State(control);
  if (state.foreColor == color) return;
  state.foreColor = color;
  if (IsDrawnOnContainer(state)) NoteWindowWork(state, kPendingRedraw);
}

float Win32Ui::Left(Control control) const {
  return State(control).left;
}

float Win32Ui::Width(Control control) const {
  return State(control).width;
}

void Win32Ui::SetWidth(Control control, float twips) {
  ControlState& state = State(control);
  if (state.width == twips) return;
  state.width = twips;
  NoteWindowWork(state, kPendingPlace);
}

float Win32Ui::ScaleWidth() const {
  RECT client{};
  if (IsIconic(main_)) {
    // A minimised window has no client area; measure the size it is restored to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(main_, &placement);
    RECT frame{};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(main_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(main_, GWL_EXSTYLE)));
    client.right = (placement.rcNormalPosition.right - placement.rcNormalPosition.left) -
                   (frame.right - frame.left);
  } else {
    GetClientRect(main_, &client);
  }
  return dpi_.TwipsX(client.right);
}

void Win32Ui::SetTaskbarProgress(TaskbarState state, std::int64_t done, std::int64_t total) {
  // Shown with the window work, when it is due.
  if (taskbar_->Set(state, done, total)) NoteWindowWork(State(Control::Form), 0);
}

void Win32Ui::Show() {
  ApplyPending();
  State(Control::Form).visible = true;
  ShowWindow(main_, SW_SHOW);
  // The load event goes on after showing the window; paint it now rather than when the
  // message loop first runs.
  lastPaint_ = GetTickCount();
  RedrawWindow(main_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

WindowHandle Win32Ui::Handle() const {
  return reinterpret_cast<WindowHandle>(main_);
}

void Win32Ui::ShowMessageBox(const Text& text, const Text& title, MessageIcon icon) {
  HWND owner = IsWindowVisible(main_) ? main_ : nullptr;
  const UINT style = MB_OK | (icon == MessageIcon::Critical      ? MB_ICONERROR
                              : icon == MessageIcon::Information ? MB_ICONINFORMATION
                                                                 : 0);
  if (!MessageBoxW(owner, ToWide(text).c_str(), ToWide(title).c_str(), style))
    throw SystemError(GetLastError(), failure::kCannotShowMessageBox, text);
}

}  // namespace vexa
