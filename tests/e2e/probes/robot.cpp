// Drives the update window from outside, the way a user would, and appends what it sees to a
// file (one tab-separated UTF-8 line per fact). Usage: robot.exe <out file> <step>...
//   find <s>        wait up to s seconds for the update window to be visible
//   state           the window: visible, client size, centre, screen size, title; every
//                   control: id, visible, enabled, width, text, window class, and its left
//                   and top in its container's client area
//   click <id>      mouse click at the control's centre;  move <id>  pointer to its centre
//   dblclick <id>   mouse double-click at the control's centre
//   key <vk>        the update window to the front, then a press of the virtual key
//   moveto <x> <y>  pointer to a point of the window's client area
//   at <x> <y>      the id of the control that gets the pointer at a point of the client
//                   area (0: the window itself)
//   front           the window in front: its class, title and process
//   close           WM_CLOSE to the update window
//   box <s>         wait up to s seconds for a message box titled "Tollumo"; its text and icon
//   ok              press the message box's first button
//   login <s>       wait up to s seconds for a login dialog owned by the update window (a
//                   dialog with a password edit); its title and the texts of its labels
//   answer <user> <password>   types both into the login dialog's edits and confirms (OK);
//                   answer - presses Cancel instead
// A step that cannot be done writes "failed <step>".
#include <cwchar>
#include <map>

#include "probe_log.h"

namespace {

using std::to_wstring;
const wchar_t* out;  // the file the facts go to

void Emit(const std::vector<std::wstring>& fields) {
  AppendRecord(fields, out);
}

std::wstring TextOf(HWND w) {
  wchar_t text[1024] = {};
  InternalGetWindowText(w, text, 1024);
  return text;
}

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

bool IsClass(HWND w, const wchar_t* name) {
  return _wcsicmp(ClassOf(w).c_str(), name) == 0;
}

HWND Form() {
  return FindWindowW(L"FrmUpdate", L"Tollumo");
}

BOOL CALLBACK AddControl(HWND w, LPARAM found) {
  (*reinterpret_cast<std::map<int, HWND>*>(found))[GetDlgCtrlID(w)] = w;
  return TRUE;
}

std::map<int, HWND> Controls(HWND form) {
  std::map<int, HWND> found;
  EnumChildWindows(form, AddControl, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND Box() {
  return FindWindowW(L"#32770", L"Tollumo");  // the dialog class of message boxes
}

// A dialog of the update window's with a password edit: the system's login dialog.
BOOL CALLBACK FindLogin(HWND w, LPARAM found) {
  if (!IsClass(w, L"#32770") || GetWindow(w, GW_OWNER) != Form()) return TRUE;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (IsClass(c, L"Edit") && (GetWindowLongW(c, GWL_STYLE) & ES_PASSWORD)) {
      *reinterpret_cast<HWND*>(found) = w;
      return FALSE;
    }
  }
  return TRUE;
}

HWND Login() {
  HWND found = nullptr;
  EnumWindows(FindLogin, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool Visible(HWND w) {
  return (GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MouseTo(POINT p) {
  SetCursorPos(p.x, p.y);
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
              p.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1),
              p.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1), 0, 0);
  Sleep(100);
}

bool WaitFor(HWND (*find)(), double seconds) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
    if (IsWindowVisible(find())) return true;  // false for no window
  }
  return false;
}

void State() {
  HWND form = Form();
  if (!form) return Emit({L"form", L"0"});
  RECT client, frame;
  GetClientRect(form, &client);
  GetWindowRect(form, &frame);
  Emit({L"form", L"1", to_wstring(Visible(form)), to_wstring(client.right),
        to_wstring(client.bottom), to_wstring((frame.left + frame.right) / 2),
        to_wstring((frame.top + frame.bottom) / 2), to_wstring(GetSystemMetrics(SM_CXSCREEN)),
        to_wstring(GetSystemMetrics(SM_CYSCREEN)), TextOf(form)});
  for (const auto& [id, control] : Controls(form)) {
    RECT r;
    GetWindowRect(control, &r);
    POINT at{r.left, r.top};
    ScreenToClient(GetParent(control), &at);
    Emit({L"ctl", to_wstring(id), to_wstring(Visible(control)),
          to_wstring(IsWindowEnabled(control) != 0), to_wstring(r.right - r.left), TextOf(control),
          ClassOf(control), to_wstring(at.x), to_wstring(at.y)});
  }
}

// Red pixels in the icon's square on the screen: the stop icon is mostly red.
std::pair<int, int> RedPixels(HWND icon) {
  RECT r;
  GetWindowRect(icon, &r);
  HDC screen = GetDC(nullptr);
  int red = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF c = GetPixel(screen, x, y);
      red += GetRValue(c) > 160 && GetGValue(c) < 90 && GetBValue(c) < 90;
    }
  }
  ReleaseDC(nullptr, screen);
  return {red, (r.right - r.left) * (r.bottom - r.top)};
}

void DescribeBox() {
  HWND box = Box();
  if (!box) return Emit({L"box", L"0"});
  Sleep(300);  // let it paint before the icon is looked at
  std::wstring text;
  int buttons = 0;
  std::pair<int, int> red{0, 0};
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (IsClass(c, L"Button")) {
      ++buttons;
    } else if (IsClass(c, L"Static")) {
      if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        red = RedPixels(c);
      else if (!TextOf(c).empty())
        text = TextOf(c);
    }
  }
  Emit({L"box", L"1", TextOf(box), text, to_wstring(red.first), to_wstring(red.second),
        to_wstring(buttons)});
}

int next = 2;  // the next command-line argument to take

const wchar_t* Arg() {
  return next < __argc ? __wargv[next++] : L"0";
}

// Does one step, taking its arguments; false when it cannot be done.
bool Step(const std::wstring& step) {
  HWND form = Form();
  if (step == L"find") {
    Emit({L"find", to_wstring(WaitFor(Form, _wtof(Arg())))});
  } else if (step == L"state") {
    State();
  } else if (step == L"key") {
    const BYTE key = static_cast<BYTE>(_wtoi(Arg()));
    if (!form) return false;
    SetForegroundWindow(form);
    Sleep(200);
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
    Sleep(200);
  } else if (step == L"click" || step == L"move" || step == L"dblclick") {
    const int id = _wtoi(Arg());
    HWND c = form ? Controls(form)[id] : nullptr;
    if (!c) return false;
    RECT r;
    GetWindowRect(c, &r);
    MouseTo({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    for (int presses = step == L"click" ? 1 : step == L"dblclick" ? 2 : 0; presses > 0; --presses) {
      mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
      mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    }
    Sleep(step == L"move" ? 0 : 300);
  } else if (step == L"moveto") {
    POINT p{_wtoi(Arg()), _wtoi(Arg())};
    if (!form || !ClientToScreen(form, &p)) return false;
    MouseTo(p);
  } else if (step == L"at") {
    POINT p{_wtoi(Arg()), _wtoi(Arg())};
    if (!form || !ClientToScreen(form, &p)) return false;
    HWND hit = WindowFromPoint(p);
    Emit({L"at", to_wstring(hit && IsChild(form, hit) ? GetDlgCtrlID(hit) : 0)});
  } else if (step == L"front") {
    HWND front = GetForegroundWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(front, &process);
    Emit({L"front", ClassOf(front), TextOf(front), to_wstring(process)});
  } else if (step == L"close") {
    return form && PostMessageW(form, WM_CLOSE, 0, 0);
  } else if (step == L"box") {
    WaitFor(Box, _wtof(Arg()));
    DescribeBox();
  } else if (step == L"ok") {
    HWND box = Box();
    HWND button = box ? FindWindowExW(box, nullptr, L"Button", nullptr) : nullptr;
    return button && PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button));
  } else if (step == L"login") {
    WaitFor(Login, _wtof(Arg()));
    HWND login = Login();
    std::vector<std::wstring> fields{L"login", login ? L"1" : L"0"};
    if (login) {
      Sleep(300);  // let it paint for the screenshot
      fields.push_back(TextOf(login));
    }
    for (HWND c = login ? GetWindow(login, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (IsClass(c, L"Static") && !TextOf(c).empty()) fields.push_back(TextOf(c));
    }
    Emit(fields);
  } else if (step == L"answer") {
    const std::wstring user = Arg();
    HWND login = Login();
    if (!login) return false;
    if (user != L"-") {
      const std::wstring password = Arg();
      for (HWND c = GetWindow(login, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsClass(c, L"Edit")) continue;
        const bool secret = (GetWindowLongW(c, GWL_STYLE) & ES_PASSWORD) != 0;
        SendMessageW(c, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>((secret ? password : user).c_str()));
      }
    }
    const int id = user == L"-" ? IDCANCEL : IDOK;
    HWND button = GetDlgItem(login, id);
    return button && PostMessageW(login, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button));
  } else {
    return false;
  }
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  out = __wargv[1];
  while (next < __argc) {
    const std::wstring step = Arg();
    if (!Step(step)) Emit({L"failed", step});
  }
  return 0;
}
