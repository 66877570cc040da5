// Looks at vexa_update.exe from the outside, under Wine or Windows.
//   smoke_probe box     the "unpack first" message box is up and the window is not; closes
//                       the box and waits for the program to end
//   smoke_probe window  the update window is up; closes it and waits for the program to end
// Exit code 0 when all went as expected; the reason otherwise goes to standard output.

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr wchar_t kTitle[] = L"Tollumo";
constexpr wchar_t kUnpackFirst[] = L"请先解压，而后再安装！";
constexpr DWORD kPatienceMs = 60000;  // the first start in a new Wine prefix is slow

HWND WaitForWindow(const wchar_t* windowClass) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += 100) {
    HWND window = FindWindowW(windowClass, kTitle);
    if (window && IsWindowVisible(window)) return window;
    Sleep(100);
  }
  return nullptr;
}

BOOL CALLBACK NoteUnpackText(HWND child, LPARAM found) {
  wchar_t text[256] = {};
  GetWindowTextW(child, text, 256);
  if (std::wcscmp(text, kUnpackFirst) == 0) *reinterpret_cast<bool*>(found) = true;
  return TRUE;
}

// Closes the window the way the user would and waits for its process to go.
int CloseAndWaitForEnd(HWND window, UINT message, WPARAM wParam) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) {
    std::puts("cannot open the program's process");
    return 3;
  }
  PostMessageW(window, message, wParam, 0);
  const DWORD waited = WaitForSingleObject(process, 10000);
  CloseHandle(process);
  if (waited != WAIT_OBJECT_0) {
    std::puts("the program did not end after its window was closed");
    return 3;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool box = argc > 1 && std::wcscmp(argv[1], L"box") == 0;
  HWND window = WaitForWindow(box ? L"#32770" : L"FrmUpdate");
  if (!window) {
    std::puts(box ? "no message box titled Tollumo" : "no window FrmUpdate titled Tollumo");
    return 1;
  }
  if (!box) return CloseAndWaitForEnd(window, WM_CLOSE, 0);

  bool found = false;
  EnumChildWindows(window, NoteUnpackText, reinterpret_cast<LPARAM>(&found));
  if (!found) {
    std::puts("the message box does not say to unpack first");
    return 2;
  }
  HWND main = FindWindowW(L"FrmUpdate", kTitle);
  if (main && IsWindowVisible(main)) {
    std::puts("the window is shown although the brand file is missing");
    return 2;
  }
  return CloseAndWaitForEnd(window, WM_COMMAND, IDOK);
}
