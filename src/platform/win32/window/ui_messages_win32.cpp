// Window messages of the update window and its controls: the procedure decodes each message
// and calls the member that acts on it; most of them raise one of the window's events.

#include <windowsx.h>

#include <optional>
#include <utility>

#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"

namespace vexa {

namespace {

// The control a child window's ID names, if it names one.
std::optional<Control> ControlOfId(int id) {
  if (id <= Win32Ui::kFirstControlId ||
      id > Win32Ui::kFirstControlId + static_cast<int>(Control::Label3)) {
    return std::nullopt;
  }
  return static_cast<Control>(id - Win32Ui::kFirstControlId);
}

}  // namespace

int Win32Ui::RunMessageLoop() {
  MSG message{};
  for (;;) {
    // The windows show what the handlers set before the thread waits, when another program
    // may read them; kApplyPendingMessage does the same for loops that are not this one.
    ApplyPending();
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) break;  // WM_QUIT
    if (got == -1) throw SystemError(GetLastError(), failure::kCannotReadMessages, u"");
    if (!IsDialogMessageW(main_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK Win32Ui::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  Control control = Control::Form;
  if (window != self->main_) {
    // A child whose ID names no control is left to the system rather than taken for the form.
    const std::optional<Control> child = ControlOfId(GetDlgCtrlID(window));
    if (!child) return DefWindowProcW(window, message, wParam, lParam);
    control = *child;
  }
  // No exception may unwind through the system's frames: keep it for the message loop.
  try {
    if (const auto result = self->HandleMessage(window, control, message, wParam, lParam)) {
      return *result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  } catch (...) {
    if (!self->failure_) self->failure_ = std::current_exception();
    PostQuitMessage(1);
    return 0;
  }
}

std::optional<LRESULT> Win32Ui::HandleMessage(HWND window, Control control, UINT message,
                                              WPARAM wParam, LPARAM lParam) {
  const auto dc = reinterpret_cast<HDC>(wParam);
  // Closing, ending and the focus are the main window's; a child that gets one of those
  // (WM_DESTROY reaches every child) leaves it to the system.
  const bool form = control == Control::Form;
  constexpr std::optional<LRESULT> kSystemDefault;
  switch (message) {
    case WM_ERASEBKGND:
      OnEraseBackground(control, dc);
      return 1;  // erased
    case WM_NCPAINT:
      return OnFramePaint(control);
    case WM_PRINTCLIENT:
      return OnPrintClient(window, control, dc);
    case WM_PAINT:
      OnPaint(window, control);
      break;
    case WM_CTLCOLORBTN:
      return OnButtonColor(control, dc);
    case WM_MOUSEMOVE:
      OnMouseMove(control);
      break;
    case WM_LBUTTONDOWN:
      OnPress(window, control);
      break;
    case WM_LBUTTONDBLCLK:  // the second press of a double-click: its release clicks nothing
      OnPress(window, std::nullopt);
      break;
    case WM_LBUTTONUP:
      OnRelease(window, control, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      break;
    case WM_CAPTURECHANGED:
      OnCaptureChanged();
      break;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      break;
    case WM_CLOSE:
      if (!form) return kSystemDefault;
      OnClose();
      break;
    case WM_QUERYENDSESSION:  // sent to top-level windows only
      OnQueryEndSession();
      return TRUE;  // Windows may end the session
    case WM_DESTROY:
      if (!form) return kSystemDefault;
      OnDestroy();
      break;
    case WM_SETFOCUS:
      if (!form) {
        if (IsLink(control)) OnLinkFocus(control);
        return kSystemDefault;
      }
      OnSetFocus();
      break;
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:  // the focus rectangle shown or hidden
      if (IsLink(control)) OnLinkFocus(control);
      return kSystemDefault;
    case WM_KEYDOWN:  // Space on the link area; Enter comes as IDOK (PressFocusedControl)
      if (!IsLink(control) || wParam != VK_SPACE) return kSystemDefault;
      OnLinkSpace(control, (lParam & (1 << 30)) != 0);  // bit 30: the key was down already
      break;
    case WM_GETOBJECT:
      return OnGetObject(window, control, wParam, lParam);
    case WM_POWERBROADCAST:  // sent to top-level windows only
      OnPowerBroadcast(wParam);
      return TRUE;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      if (form) FollowSystemColors();
      return kSystemDefault;
    // The program's own messages are posted to the main window only.
    case kFailureMessage:
      OnReportedFailure();
      break;
    case kApplyPendingMessage:
      OnApplyPending();
      break;
    case kTransferStateMessage:
      OnTransferState(wParam, lParam);
      break;
    case kTransferProgressMessage:
      OnTransferProgress(lParam);
      break;
    case kTransferLoginMessage:
      OnTransferLogin(lParam);
      break;
    default:
      // The taskbar's message is registered at run time, so it can't be a case of its own;
      // it is 0 when it could not be registered, and no message is 0 here.
      if (form && taskbar_ && message != 0 && message == taskbar_->CreatedMessage()) {
        OnTaskbarButtonCreated();
        break;
      }
      return kSystemDefault;
  }
  return 0;  // what each message handled above without an answer of its own answers
}

bool Win32Ui::RaiseEvent(Control control, EventKind kind, std::int16_t argument) {
  // After a failure the program is on its way out; no further handler runs.
  if (failure_ || !events_) return false;
  return events_(control, kind, argument);
}

void Win32Ui::OnMouseMove(Control control) {
  RaiseEvent(control, EventKind::MouseMove);
}

void Win32Ui::OnPress(HWND window, std::optional<Control> clicked) {
  SetCapture(window);
  pressing_ = true;
  pressed_ = clicked;
}

void Win32Ui::OnRelease(HWND window, Control control, POINT point) {
  // A click is a release over the control that was pressed.
  const bool pressedHere = pressing_ && pressed_ == control;
  pressing_ = false;
  if (GetCapture() == window) ReleaseCapture();
  RECT client{};
  GetClientRect(window, &client);
  if (pressedHere && PtInRect(&client, point)) RaiseEvent(control, EventKind::Click);
}

void Win32Ui::OnCaptureChanged() {
  // Another window took the mouse between a press and its release: that release clicks nothing.
  pressing_ = false;
}

void Win32Ui::OnCommand(int id, int notification, HWND from) {
  const std::optional<Control> control = ControlOfId(id);
  if (from && notification == BN_CLICKED && control) {
    // Windows leaves the focus on a button disabled while it had it, and Enter on a default
    // button reports it as clicked: a disabled or hidden button raises nothing.
    if (State(*control).enabled && State(*control).visible) RaiseEvent(*control, EventKind::Click);
  } else if (id == IDOK && notification == BN_CLICKED) {
    // Enter: on a window that is no dialog, IsDialogMessage sends it as IDOK.
    PressFocusedControl();
  }
}

void Win32Ui::PressFocusedControl() {
  HWND focus = GetFocus();
  const std::optional<Control> control = ControlOfId(focus ? GetDlgCtrlID(focus) : 0);
  if (!control || GetAncestor(focus, GA_ROOT) != main_) return;
  if (!IsWindowEnabled(focus) || !IsWindowVisible(focus)) return;
  const ControlState& state = State(*control);
  if (state.layout && state.layout->kind == ControlKind::Button) {
    SendMessageW(focus, BM_CLICK, 0, 0);  // the button reports it as its own click
  } else if (IsLink(*control)) {
    RaiseEvent(*control, EventKind::Click);
  }
}

void Win32Ui::OnLinkFocus(Control control) {
  // The focus rectangle is drawn with the label, on its container's surface.
  const ControlState& state = State(control);
  InvalidateSurface(state.layout->container, FocusRect(state));
}

void Win32Ui::OnLinkSpace(Control control, bool repeated) {
  // A click once per press, not again for every repeat of a key held down.
  if (!repeated) RaiseEvent(control, EventKind::Click);
}

void Win32Ui::OnClose() {
  // The window's close rule ends the program; without a handler the window just closes.
  if (!RaiseEvent(Control::Form, EventKind::QueryUnload)) DestroyWindow(main_);
}

void Win32Ui::OnQueryEndSession() {
  RaiseEvent(Control::Form, EventKind::QueryUnload);
}

void Win32Ui::OnDestroy() {
  PostQuitMessage(0);
}

void Win32Ui::OnSetFocus() {
  // The keyboard goes to the first control that takes it (the start button).
  if (HWND first = GetNextDlgTabItem(main_, nullptr, FALSE); first && first != main_) {
    ::SetFocus(first);
  }
}

void Win32Ui::OnReportedFailure() {
  ThrowReportedFailure();
}

void Win32Ui::OnTaskbarButtonCreated() {
  taskbar_->OnCreated();
}

void Win32Ui::OnTransferState(WPARAM state, LPARAM serial) {
  if (currentTransfer_ && currentTransfer_(serial)) {
    RaiseEvent(Control::Inet1, EventKind::StateChanged, static_cast<std::int16_t>(state));
  }
}

void Win32Ui::OnTransferProgress(LPARAM serial) {
  if (currentTransfer_ && currentTransfer_(serial)) RaiseEvent(Control::Inet1, EventKind::Progress);
}

// After a sleep, a connection made before it is likely dead; Windows sends
// PBT_APMRESUMEAUTOMATIC on every wake, with or without a user at the machine. (Wine sends none:
// the transfer probe calls the transfer control's Resume as this does.)
void Win32Ui::OnPowerBroadcast(WPARAM event) {
  if (event == PBT_APMRESUMEAUTOMATIC && resumed_) resumed_();
}

void Win32Ui::OnTransferLogin(LPARAM serial) {
  // A replaced request no longer waits; after a failure the program is on its way out.
  if (!failure_ && login_ && currentTransfer_ && currentTransfer_(serial)) login_();
}

}  // namespace vexa
