// What a screen reader reads of the update window's own controls (their windows answer
// WM_GETOBJECT) and hears of their changes (events raised as the window work sets texts).
// The buttons are the system's and answer for themselves.

#include <algorithm>

#include "platform/win32/window/ui_win32.h"
#include "settings.h"

namespace vexa {

namespace {

constexpr char16_t kBarName[] = u"下载进度";
constexpr char16_t kPictureName[] = u"USB 插头";

// The bar's value: the whole percentage the window shows, 0 to 100. The save's last piece may
// count past the length ("102%"); no percentage shown yet is an empty bar.
int PercentShown(const Text& shown) {
  int percent = 0;
  for (char16_t c : shown) {
    if (c < u'0' || c > u'9') break;
    percent = std::min(100, percent * 10 + (c - u'0'));
  }
  return percent;
}

Text PercentText(int percent) {
  return DecimalText(percent) + u"%";
}

// What each of the window's own controls is to a reader; 0: the system's standard object.
long RoleOf(Control control, ControlKind kind) {
  switch (control) {
    case Control::Picture_http:
      return ROLE_SYSTEM_GROUPING;
    case Control::Picture1:
      return ROLE_SYSTEM_PROGRESSBAR;
    case Control::Label2:
      return ROLE_SYSTEM_LINK;
    default:
      break;
  }
  if (kind == ControlKind::Label) return ROLE_SYSTEM_STATICTEXT;
  if (kind == ControlKind::Image) return ROLE_SYSTEM_GRAPHIC;
  return 0;
}

}  // namespace

bool Win32Ui::IsLink(Control control) {
  return control == Control::Label2;
}

std::optional<LRESULT> Win32Ui::OnGetObject(HWND window, Control control, WPARAM flags,
                                            LPARAM object) {
  // The object ID arrives in 32 bits, also in a 64-bit program.
  if (static_cast<DWORD>(object) != static_cast<DWORD>(OBJID_CLIENT)) return std::nullopt;
  const ControlState& state = State(control);
  if (!state.layout || RoleOf(control, state.layout->kind) == 0 || !com_.Enter()) {
    return std::nullopt;
  }
  return AnswerAccessibleObject(window, flags, &Win32Ui::FactsOf);
}

std::optional<AccessibleFacts> Win32Ui::FactsOf(HWND window) {
  // A destroyed window, or one this object no longer owns (its destructor detaches them).
  const auto* self =
      IsWindow(window) ? reinterpret_cast<const Win32Ui*>(GetWindowLongPtrW(window, GWLP_USERDATA))
                       : nullptr;
  if (!self) return std::nullopt;
  for (const ControlState& state : self->controls_) {
    if (state.window == window && state.layout) return self->Facts(state.layout->id);
  }
  return std::nullopt;
}

AccessibleFacts Win32Ui::Facts(Control control) const {
  const ControlState& state = State(control);
  AccessibleFacts facts;
  facts.role = RoleOf(control, state.layout->kind);
  facts.state = STATE_SYSTEM_READONLY;
  switch (control) {
    case Control::Picture_http:
      facts.name = State(Control::Label_http_state).caption;
      facts.state = 0;
      break;
    case Control::Picture1:
      facts.name = kBarName;
      facts.value = PercentText(PercentShown(State(Control::Label_http_state2).caption));
      break;
    case Control::Label2:
      facts.name = facts.value.emplace(kDownloadBase);
      facts.state = STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE;
      break;
    case Control::Image1:
      facts.name = kPictureName;
      break;
    default:
      facts.name = state.caption;
      break;
  }
  if (!IsWindowVisible(state.window)) facts.state |= STATE_SYSTEM_INVISIBLE;
  if (GetFocus() == state.window) facts.state |= STATE_SYSTEM_FOCUSED;
  return facts;
}

void Win32Ui::AnnounceText(Control control) {
  // Windows' DefWindowProc tells of a new text only for the window object (OBJID_WINDOW), and
  // Wine not at all; a reader follows the client area's object, which carries the name. For a
  // button Windows may tell it twice; readers drop a repeated event.
  const auto announce = [this](DWORD event, Control of) {
    NotifyWinEvent(event, State(of).window, OBJID_CLIENT, CHILDID_SELF);
  };
  if (control == Control::Form) return;
  announce(EVENT_OBJECT_NAMECHANGE, control);
  if (control == Control::Label_http_state)
    announce(EVENT_OBJECT_NAMECHANGE, Control::Picture_http);
  if (control == Control::Label_http_state2) {
    const int percent = PercentShown(State(control).caption);
    if (percent != announcedPercent_) {
      announcedPercent_ = percent;
      announce(EVENT_OBJECT_VALUECHANGE, Control::Picture1);
    }
  }
}

}  // namespace vexa
