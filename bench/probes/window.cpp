// The least a Win32 program does to show one window and wait for input. Built a second time
// with VEXA_THEMED_BUTTON (bench_window_themed): the same window with one push button in the
// look of the running Windows version (common controls 6, from its manifest), as
// vexa_update.exe's buttons are, to show what that look costs at start-up.
#include <windows.h>

LRESULT CALLBACK Procedure(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(w, msg, wp, lp);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = instance;
  wc.lpszClassName = L"BenchWindow";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&wc);
  HWND w = CreateWindowW(wc.lpszClassName, L"Bench", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, 420, 300, nullptr, nullptr, instance, nullptr);
#ifdef VEXA_THEMED_BUTTON
  CreateWindowW(L"BUTTON", L"Start", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 16, 16, 96, 28, w,
                nullptr, instance, nullptr);
#endif
  ShowWindow(w, show);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}
