// Window work of the update window: what the setters noted, done when it is due.

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"

namespace vexa {

void Win32Ui::PlaceWindow(ControlState& state) {
  const RECT before = state.placed;
  const RECT after = PixelRect(state);
  if (EqualRect(&before, &after)) return;
  state.placed = after;
  SetWindowPos(state.window, nullptr, after.left, after.top, after.right - after.left,
               after.bottom - after.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (IsDrawnOnContainer(state)) {
    RECT both;
    UnionRect(&both, &before, &after);
    InvalidateSurface(state.layout->container, both);
  }
}

void Win32Ui::InvalidateSurface(Control container, const RECT& area) {
  RedrawWindow(State(container).window, &area, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Win32Ui::NoteWindowWork(ControlState& state, unsigned work) {
  if (!state.window) return;  // the transfer control: nothing to show
  state.pending |= work;
  if (!applyPosted_) applyPosted_ = PostMessageW(main_, kApplyPendingMessage, 0, 0) != FALSE;
  PaintWhenDue();
}

void Win32Ui::ApplyPending() {
  if (taskbar_) taskbar_->Apply();
  for (ControlState& state : controls_) {
    const unsigned work = std::exchange(state.pending, 0u);
    if (work == 0) continue;
    if (work & kPendingText) {
      if (!SetWindowTextW(state.window, ToWide(state.caption).c_str())) {
        throw SystemError(GetLastError(), failure::kCannotSetCaption, state.caption);
      }
      AnnounceText(static_cast<Control>(&state - controls_.data()));
    }
    if (work & kPendingEnabled) EnableWindow(state.window, state.enabled);
    if (work & kPendingVisible) ShowWindow(state.window, state.visible ? SW_SHOWNA : SW_HIDE);
    if (work & kPendingPlace) PlaceWindow(state);
    if (work & kPendingRedraw) InvalidateSurface(state.layout->container, state.placed);
  }
}

void Win32Ui::OnApplyPending() {
  applyPosted_ = false;
  ApplyPending();
}

void Win32Ui::PaintWhenDue() {
  // A few dozen times a second keeps the bar and the percentage moving during a save without
  // slowing it down. The clock comes first: most calls end here.
  const DWORD now = GetTickCount();
  if (now - lastPaint_ < kScreenUpdateMs) return;
  lastPaint_ = now;
  ShowPendingNow();
}

void Win32Ui::ShowPendingNow() {
  ApplyPending();
  if (State(Control::Form).visible) {
    RedrawWindow(main_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

}  // namespace vexa
