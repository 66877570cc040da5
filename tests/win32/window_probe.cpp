// The update window and its logic in the probe's own process, under Wine on a virtual display
// (Wine hands a reader's objects out only in-process): what a screen reader reads and hears
// during a fake transfer, the link area's keys, and the colours in high contrast, which Wine 8
// never reports (the probe answers SPI_GETHIGHCONTRAST itself). Exit code 0 when every check
// holds; the high-contrast picture is left in C:\probe\high-contrast.bmp. run_probe.sh stages
// this program alone in C:\probe.

#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../unit/fakes.h"
#include "import_redirect.h"
#include "platform/win32/clock_win32.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/window/ui_win32.h"
#include "probe_check.h"
#include "settings.h"
#include "window/layout.h"

using namespace vexa;

namespace {

// Control IDs: 100 + the control's number in the layout (ui_win32.h).
enum : int {
  kPanel = 102,
  kBar,
  kPercent,
  kStateLine,
  kStartButton = 109,
  kSiteLine = 110,
  kPicture = 112,
  kRedLine,
  kLink,
  kStatusLine = 116
};

// The transfer the window's logic sees (the other fakes: tests/unit/fakes.h): its progress and
// body set by the probe, every piece after the first asked for once the window shows the last
// one's percentage.
struct WatchedTransfer final : FakeTransfer {
  void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) override {
    if (pieces++ > 0) beforeNextChunk();
    FakeTransfer::GetChunk(size, chunk);
  }
  int pieces = 0;
  std::function<void()> beforeNextChunk = [] {};
};

// What a reader reads of a window's client area, as a reader in this process asks for it.
struct Read {
  long role = 0;
  std::wstring name, value;
};

Read ReadObject(HWND window) {
  Read read;
  IAccessible* object = nullptr;
  // oleacc.dll's, taken as the program takes it (64-bit MinGW's oleacc and uuid libraries
  // both define IID_IAccessible, so the probe does not link the former).
  static const auto fromWindow =
      reinterpret_cast<decltype(&AccessibleObjectFromWindow)>(reinterpret_cast<void*>(
          GetProcAddress(LoadLibraryW(L"oleacc.dll"), "AccessibleObjectFromWindow")));
  if (FAILED(
          fromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object)))) {
    return read;
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role{};
  if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) read.role = role.lVal;
  for (auto [get, text] : {std::pair{&IAccessible::get_accName, &read.name},
                           std::pair{&IAccessible::get_accValue, &read.value}}) {
    BSTR got = nullptr;
    if ((object->*get)(self, &got) == S_OK && got) *text = got;
    SysFreeString(got);
  }
  object->Release();
  return read;
}

// The events heard, (event, control ID), of the client areas only.
std::set<std::pair<DWORD, int>> heard;

void CALLBACK Hear(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT && child == CHILDID_SELF) heard.insert({event, GetDlgCtrlID(window)});
}

bool Heard(DWORD event, int id) {
  return heard.count({event, id}) != 0;
}

// The window brought up to date, and the messages (the events among them) handled.
void Settle(Win32Ui& ui) {
  ui.ShowPendingNow();
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 300; Sleep(10)) {
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
  }
}

// --- high contrast -----------------------------------------------------------------------

decltype(&SystemParametersInfoW) realParameters;
bool highContrast = false;

BOOL WINAPI Parameters(UINT action, UINT size, PVOID value, UINT flags) {
  if (action != SPI_GETHIGHCONTRAST || !highContrast) {
    return realParameters(action, size, value, flags);
  }
  auto* contrast = static_cast<HIGHCONTRASTW*>(value);
  contrast->dwFlags = HCF_HIGHCONTRASTON | HCF_AVAILABLE;
  contrast->lpszDefaultScheme = nullptr;
  return TRUE;
}

// The screen under a window, as 0x00RRGGBB pixels, also written to `file` as a BMP.
struct Screenshot {
  RECT place{};
  std::vector<std::uint32_t> pixels;
  int width() const { return place.right - place.left; }
  std::uint32_t At(int x, int y) const {
    return pixels[(y - place.top) * width() + x - place.left];
  }
};

Screenshot Shoot(HWND window, const wchar_t* file) {
  Screenshot shot;
  GetWindowRect(window, &shot.place);
  const int width = shot.width(), height = shot.place.bottom - shot.place.top;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;  // the top row first
  header.biPlanes = 1;
  header.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  HGDIOBJ before = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, shot.place.left, shot.place.top, SRCCOPY);
  GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  shot.pixels.assign(first, first + width * height);
  SelectObject(memory, before);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (std::uint32_t& pixel : shot.pixels) pixel &= 0xFFFFFF;
  const DWORD bytes = static_cast<DWORD>(shot.pixels.size() * 4);
  constexpr DWORD kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPFILEHEADER fileHeader{0x4D42, kHeaders + bytes, 0, 0, kHeaders};
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(shot.pixels.data()), bytes);
  return shot;
}

// Windows' "High Contrast Black": black window, white text, cyan highlight.
constexpr int kElements[] = {COLOR_WINDOW,  COLOR_WINDOWTEXT, COLOR_HIGHLIGHT,
                             COLOR_BTNFACE, COLOR_BTNTEXT,    COLOR_WINDOWFRAME};
constexpr COLORREF kBlackScheme[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(26, 235, 255),
                                     RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 255, 255)};
constexpr std::uint32_t kCyan = 0x1AEBFF;

// The colours of a window's pixels (of its client area only: `client`) in the screenshot.
std::set<std::uint32_t> ColoursOf(const Screenshot& shot, HWND window, bool client) {
  RECT r{};
  if (client) {
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  } else {
    GetWindowRect(window, &r);
  }
  std::set<std::uint32_t> colours;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) colours.insert(shot.At(x, y));
  }
  return colours;
}

// In high contrast the bar is the highlight colour, and the lines are white on black: every
// colour of their windows is a grey (anti-aliasing), black and white both among them.
void CheckHighContrast(Win32Ui& ui, const std::function<HWND(int)>& window) {
  COLORREF before[std::size(kElements)];
  for (std::size_t i = 0; i < std::size(kElements); ++i) before[i] = GetSysColor(kElements[i]);
  CHECK(Redirect(L"user32.dll", "SystemParametersInfoW", &Parameters, realParameters));
  highContrast = true;
  SetSysColors(std::size(kElements), kElements, kBlackScheme);
  // As Windows tells every window when high contrast is turned on.
  SendMessageW(ui.MainWindow(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  Settle(ui);
  Sleep(500);  // until the screen shows it
  const Screenshot shot = Shoot(ui.MainWindow(), L"C:\\probe\\high-contrast.bmp");
  CHECK(ColoursOf(shot, window(kBar), true) == std::set<std::uint32_t>{kCyan});
  for (int id : {kStateLine, kPercent, kRedLine, kSiteLine}) {
    const std::set<std::uint32_t> colours = ColoursOf(shot, window(id), false);
    bool greys = colours.count(0) && colours.count(0xFFFFFF);
    for (std::uint32_t c : colours) greys = greys && (c & 0xFF) * 0x10101 == c;
    if (!greys) std::printf("line %d: not white on black\n", id);
    CHECK(greys);
  }
  highContrast = false;
  SetSysColors(std::size(kElements), kElements, before);
}

// Adds a control's window, at any depth, to the map of them by ID.
BOOL CALLBACK AddControl(HWND window, LPARAM found) {
  (*reinterpret_cast<std::map<int, HWND>*>(found))[GetDlgCtrlID(window)] = window;
  return TRUE;
}

}  // namespace

int wmain() {
  try {
    ComApartment com;
    Win32Ui ui(GetModuleHandleW(nullptr), WindowForm(), com);
    CodePageWin32 codePage;
    FakeFiles files{codePage};
    FakeProcesses processes;
    FakeShell shell;
    shell.desktop = true;  // the site opens as the desktop user
    WatchedTransfer transfer;
    EnvironmentWin32 environment;
    FakeProgramEnd end;
    FakeLog log;
    ClockWin32 clock;
    FakeCopies copies;
    FrmUpdate form(Platform{ui, files, processes, shell, transfer, codePage, environment, end, log,
                            clock, copies});
    ui.Connect([&form](Control c, EventKind k, std::int16_t a) { return form.Raise(c, k, a); },
               [](LPARAM) { return true; });
    std::map<int, HWND> controls;
    EnumChildWindows(ui.MainWindow(), AddControl, reinterpret_cast<LPARAM>(&controls));
    const auto at = [&controls](int id) { return controls.at(id); };
    HWND button = at(kStartButton), link = at(kLink);
    SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, Hear,
                    GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ui.Show();
    // A component is fetched, 37 % of it in hand; every new text is told. (The tab order, the
    // start button first, then the link area: test_update.py.)
    form.KindList = u"|Z|Y";
    form.UrlList = u"|http://site/a|http://site/b";
    form.NameList = u"|a.ocx|setup.exe";
    form.PathList = u"|C:\\probe\\a.ocx|C:\\probe\\setup.exe";
    form.Raise(Control::Command_refresh, EventKind::Click);
    form.Raise(Control::Inet1, EventKind::StateChanged, icResponseReceived);
    transfer.progress = {370, 1000};
    form.Raise(Control::Inet1, EventKind::Progress);
    Settle(ui);
    const std::wstring site = ToWide(kDownloadBase);
    const std::pair<int, Read> shown[] = {
        {kBar, {ROLE_SYSTEM_PROGRESSBAR, L"下载进度", L"37%"}},
        {kPanel, {ROLE_SYSTEM_GROUPING, L"正在下载...a.ocx", L""}},
        {kStateLine, {ROLE_SYSTEM_STATICTEXT, L"正在下载...a.ocx", L""}},
        {kStatusLine, {ROLE_SYSTEM_STATICTEXT, L"状态: 检查 a.ocx ...", L""}},
        {kLink, {ROLE_SYSTEM_LINK, site, site}},
        {kPicture, {ROLE_SYSTEM_GRAPHIC, L"USB 插头", L""}},
    };
    for (const auto& [id, expected] : shown) {
      const Read read = ReadObject(at(id));
      if (read.role != expected.role) std::printf("control %d: role %ld\n", id, read.role);
      CHECK(read.role == expected.role && read.name == expected.name &&
            read.value == expected.value);
    }
    CHECK(Heard(EVENT_OBJECT_NAMECHANGE, kStatusLine) && Heard(EVENT_OBJECT_NAMECHANGE, kPanel) &&
          Heard(EVENT_OBJECT_NAMECHANGE, kStateLine) && Heard(EVENT_OBJECT_VALUECHANGE, kBar));

    // Its save, in pieces of 1 KB against the 3000 bytes announced: after 1024, 2048 and 3072
    // bytes the bar reads 34 %, 68 % and, past the length, all of it, and tells of its new
    // values. The installer's transfer then starts from an empty bar.
    heard.clear();
    std::vector<std::wstring> values;
    transfer.Respond(std::string(3000, 'x'));
    transfer.beforeNextChunk = [&] { values.push_back(ReadObject(at(kBar)).value); };
    form.Raise(Control::Inet1, EventKind::StateChanged, icResponseCompleted);
    CHECK(values == (std::vector<std::wstring>{L"34%", L"68%", L"100%"}));
    CHECK(ReadObject(at(kBar)).value == L"0%");

    // It fails: the error is the state line's new name; the start button, now "重试", has the
    // focus and tells of its new name.
    Settle(ui);
    CHECK(Heard(EVENT_OBJECT_VALUECHANGE, kBar));
    heard.clear();
    form.Raise(Control::Inet1, EventKind::StateChanged, icError);
    Settle(ui);
    CHECK(ReadObject(at(kStateLine)).name == L"与主机通讯时出现了错误");
    CHECK(ReadObject(button).name == L"重试");
    CHECK(GetFocus() == button && Heard(EVENT_OBJECT_NAMECHANGE, kStateLine) &&
          Heard(EVENT_OBJECT_NAMECHANGE, kStartButton));

    // Space on the link area opens the site, once per press.
    SetFocus(link);
    SendMessageW(link, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageW(link, WM_KEYDOWN, VK_SPACE, 1 | 1 << 30);  // the key held down
    CHECK(shell.openedAsDesktopUser.size() == 1);

    // High contrast, the installer at 37 %, the link area with the focus.
    form.Raise(Control::Inet1, EventKind::StateChanged, icResponseReceived);
    form.Raise(Control::Inet1, EventKind::Progress);
    CheckHighContrast(ui, at);
  } catch (const std::exception& error) {  // a platform failure no check expected
    std::printf("FAILED: unexpected error %s\n", error.what());
    ++failures;
  }
  return ProbeExit("window probe");
}
