// Drives the update window from outside, the way a user would, and writes what it sees to a
// file (one tab-separated UTF-8 line per fact). Usage: robot.exe <out file> <step>...
//   find <s>      wait up to s seconds for the update window to be visible
//   state         the window and every control: visible, enabled, position, text
//   click <id>    mouse click at the control's centre;  post <id>  BM_CLICK posted to it
//   move <id>     pointer to the control's centre;  moveto <x> <y>  to a client point
//   close         WM_CLOSE to the update window
//   box <s>       wait up to s seconds for a message box titled "Tollumo"; its text and icon
//   ok            press the message box's first button;  sleep <ms>
#include <cstdlib>
#include <cwchar>
#include <map>

#include "probe_log.h"

namespace {

constexpr int kFirstControlId = 100, kLastControlId = 116;
std::string out;

void Emit(const std::vector<std::wstring>& fields) {
  std::string line;
  for (const auto& f : fields) line += (line.empty() ? "" : "\t") + Utf8(f);
  out += line + "\n";
}

std::wstring Str(long long v) {
  return std::to_wstring(v);
}

std::wstring TextOf(HWND w) {
  wchar_t text[1024] = {};
  InternalGetWindowText(w, text, 1024);
  return text;
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

BOOL CALLBACK MatchBox(HWND w, LPARAM box) {
  wchar_t cls[64];
  GetClassNameW(w, cls, 64);
  if (wcscmp(cls, L"#32770") == 0 && TextOf(w) == L"Tollumo" && IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(box) = w;
    return FALSE;
  }
  return TRUE;
}

HWND Box() {
  HWND box = nullptr;
  EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

bool Visible(HWND w) {
  return (GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The rectangle of a window in the client coordinates of the update window.
RECT RectInForm(HWND form, HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void MouseTo(int x, int y) {
  SetCursorPos(x, y);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
  Sleep(100);
}

POINT CentreOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

bool WaitFor(HWND (*find)(), double seconds) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(50)) {
    HWND w = find();
    if (w && IsWindowVisible(w)) return true;
  }
  return false;
}

void State() {
  HWND form = Form();
  if (!form) return Emit({L"form", L"0"});
  RECT client, frame;
  GetClientRect(form, &client);
  GetWindowRect(form, &frame);
  DWORD pid = 0;
  GetWindowThreadProcessId(form, &pid);
  Emit({L"form", L"1", Str(Visible(form)), Str(pid), Str(client.right), Str(client.bottom),
        Str((frame.left + frame.right) / 2), Str((frame.top + frame.bottom) / 2),
        Str(GetSystemMetrics(SM_CXSCREEN)), Str(GetSystemMetrics(SM_CYSCREEN)), TextOf(form)});
  auto controls = Controls(form);
  for (int id = kFirstControlId; id <= kLastControlId; ++id) {
    auto it = controls.find(id);
    if (it == controls.end()) continue;
    RECT r = RectInForm(form, it->second);
    Emit({L"ctl", Str(id), Str(Visible(it->second)), Str(IsWindowEnabled(it->second) != 0),
          Str(r.left), Str(r.top), Str(r.right - r.left), Str(r.bottom - r.top),
          TextOf(it->second)});
  }
}

// Red pixels in the icon's square on the screen: the stop icon is mostly red.
std::pair<int, int> RedPixels(HWND icon) {
  RECT r;
  GetWindowRect(icon, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  int red = 0;
  for (int i = 0; i < w * h; ++i) {
    auto px = static_cast<const BYTE*>(bits) + 4 * i;  // blue, green, red
    if (px[2] > 160 && px[1] < 90 && px[0] < 90) ++red;
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return {red, w * h};
}

void DescribeBox() {
  HWND box = Box();
  if (!box) return Emit({L"box", L"0"});
  Sleep(300);  // let it paint before the icon is looked at
  std::wstring text;
  int buttons = 0;
  std::pair<int, int> red{0, 0};
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[64];
    GetClassNameW(c, cls, 64);
    if (_wcsicmp(cls, L"Button") == 0) {
      ++buttons;
    } else if (_wcsicmp(cls, L"Static") == 0) {
      if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        red = RedPixels(c);
      else if (!TextOf(c).empty())
        text = TextOf(c);
    }
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  Emit({L"box", L"1", TextOf(box), text, Str(red.first), Str(red.second), Str(buttons), Str(pid)});
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = __argc;
  wchar_t** argv = __wargv;
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    std::wstring step = argv[i];
    auto arg = [&](int k) { return i + k < argc ? argv[i + k] : L"0"; };
    HWND form = Form();
    auto control = [&](const wchar_t* id) { return Controls(form)[_wtoi(id)]; };
    if (step == L"find") {
      Emit({L"find", Str(WaitFor(Form, _wtof(arg(1))))});
      ++i;
    } else if (step == L"state") {
      State();
    } else if (step == L"click" || step == L"move") {
      HWND c = form ? control(arg(1)) : nullptr;
      ++i;
      if (!c) {
        status = 1;
        continue;
      }
      POINT p = CentreOf(c);
      MouseTo(p.x, p.y);
      if (step == L"click") {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, in, sizeof in[0]);
        Sleep(100);
      }
    } else if (step == L"post") {
      HWND c = form ? control(arg(1)) : nullptr;
      ++i;
      if (!c || !PostMessageW(c, BM_CLICK, 0, 0)) status = 1;
    } else if (step == L"moveto") {
      POINT p{_wtoi(arg(1)), _wtoi(arg(2))};
      i += 2;
      ClientToScreen(form, &p);
      MouseTo(p.x, p.y);
    } else if (step == L"close") {
      if (!form || !PostMessageW(form, WM_CLOSE, 0, 0)) status = 1;
    } else if (step == L"box") {
      WaitFor(Box, _wtof(arg(1)));
      ++i;
      DescribeBox();
    } else if (step == L"ok") {
      HWND box = Box();
      HWND button = box ? FindWindowExW(box, nullptr, L"Button", nullptr) : nullptr;
      if (!button || !PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                   reinterpret_cast<LPARAM>(button)))
        status = 1;
    } else if (step == L"sleep") {
      Sleep(_wtoi(arg(1)));
      ++i;
    } else {
      status = 2;
    }
  }
  HANDLE h = CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
  CloseHandle(h);
  return status;
}
