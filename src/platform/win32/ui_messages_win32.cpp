// Window messages of the update window and its controls, turned into the window's events.

#include <windowsx.h>

#include <utility>

#include "platform/win32/ui_win32.h"

namespace vexa {

namespace {

bool IsControlId(int id) {
  return id > Win32Ui::kFirstControlId &&
         id <= Win32Ui::kFirstControlId + static_cast<int>(Control::Label3);
}

}  // namespace

LRESULT CALLBACK Win32Ui::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Ui*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  // No exception may unwind through the system's frames: keep it for the message loop.
  try {
    const int id = GetDlgCtrlID(window);
    const Control control = window == self->main_ || !IsControlId(id)
                                ? Control::Form
                                : static_cast<Control>(id - kFirstControlId);
    return self->HandleMessage(window, control, message, wParam, lParam);
  } catch (...) {
    if (!self->failure_) self->failure_ = std::current_exception();
    PostQuitMessage(1);
    return 0;
  }
}

LRESULT Win32Ui::HandleMessage(HWND window, Control control, UINT message, WPARAM wParam,
                               LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      // Labels and the image paint all of themselves in WM_PAINT, without flicker; a
      // container also fills its background here, for themed buttons that ask for it.
      if (!IsSurface(State(control))) {
        RECT area{};
        GetClipBox(reinterpret_cast<HDC>(wParam), &area);
        PaintSurface(control, reinterpret_cast<HDC>(wParam), area);
      }
      return 1;
    case WM_NCPAINT:
      // Labels and the image have no frame: nothing to draw outside their client area.
      if (IsSurface(State(control))) return 0;
      break;
    case WM_PRINTCLIENT:
      if (!IsSurface(State(control))) {
        RECT client{};
        GetClientRect(window, &client);
        PaintSurface(control, reinterpret_cast<HDC>(wParam), client);
        return 0;
      }
      break;
    case WM_PAINT:
      Paint(window, control);
      return 0;
    case WM_MOUSEMOVE:
      Fire(control, EventKind::MouseMove);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the second press of a double-click: its release clicks nothing
      SetCapture(window);
      pressing_ = true;
      pressed_ = message == WM_LBUTTONDOWN ? std::optional<Control>(control) : std::nullopt;
      return 0;
    case WM_LBUTTONUP:
      OnMouseButtonUp(window, control, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      pressing_ = false;
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (lParam && HIWORD(wParam) == BN_CLICKED && IsControlId(id)) {
        Fire(static_cast<Control>(id - kFirstControlId), EventKind::Click);
      } else if (id == IDOK && HIWORD(wParam) == BN_CLICKED) {
        // Enter: on a window that is no dialog, IsDialogMessage sends it as IDOK.
        PressFocusedButton();
      }
      return 0;
    }
    case WM_CTLCOLORBTN: {
      // Whatever a button leaves unpainted shows its container's background.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetDCBrushColor(dc, ColorOf(BackColorOf(control)));
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    default:
      break;
  }
  if (control == Control::Form && window == main_) {
    switch (message) {
      case WM_CLOSE:
        // The window's close rule ends the program; without a handler the window just closes.
        if (!Fire(Control::Form, EventKind::QueryUnload)) DestroyWindow(window);
        return 0;
      case WM_QUERYENDSESSION:
        Fire(Control::Form, EventKind::QueryUnload);
        return TRUE;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      case WM_SETFOCUS:
        // The keyboard goes to the first control that takes it (the start button).
        if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE); first && first != window) {
          SetFocus(first);
        }
        return 0;
      case kFailureMessage:
        ThrowReportedFailure();
        return 0;
      case kApplyPendingMessage:
        applyPosted_ = false;
        ApplyPending();
        return 0;
      case kTransferStateMessage:
        if (currentTransfer_ && currentTransfer_(lParam)) {
          Fire(Control::Inet1, EventKind::StateChanged, static_cast<std::int16_t>(wParam));
        }
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool Win32Ui::Fire(Control control, EventKind kind, std::int16_t argument) {
  // After a failure the program is on its way out; no further handler runs.
  if (failure_ || !events_) return false;
  return events_(control, kind, argument);
}

void Win32Ui::PressFocusedButton() {
  HWND focus = GetFocus();
  const int id = focus ? GetDlgCtrlID(focus) : 0;
  if (!IsControlId(id) || GetAncestor(focus, GA_ROOT) != main_) return;
  const ControlState& state = State(static_cast<Control>(id - kFirstControlId));
  if (state.layout && state.layout->kind == ControlKind::Button && IsWindowEnabled(focus) &&
      IsWindowVisible(focus)) {
    SendMessageW(focus, BM_CLICK, 0, 0);  // the button reports it as its own click
  }
}

void Win32Ui::OnMouseButtonUp(HWND window, Control control, LPARAM lParam) {
  // A click is a release over the control that was pressed (a release on its own counts as
  // well, so a test robot may send just that).
  const bool pressedHere = !pressing_ || pressed_ == control;
  pressing_ = false;
  if (GetCapture() == window) ReleaseCapture();
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  RECT client{};
  GetClientRect(window, &client);
  if (pressedHere && PtInRect(&client, point)) Fire(control, EventKind::Click);
}

}  // namespace vexa
