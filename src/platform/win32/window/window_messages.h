#pragma once

#include <windows.h>

namespace vexa {

// The program's own window class and window messages, all in one place.
// The main window's class: the window is made with it, and a second copy of the program finds
// the first one's window by it.
constexpr wchar_t kMainWindowClass[] = L"FrmUpdate";
// How often the window is brought up to date while something moves (a save's bar, a
// transfer's progress): about as often as a screen is redrawn, more than anyone can follow.
constexpr DWORD kScreenUpdateMs = 33;
// A transfer's new state: wParam the state, lParam the request's serial.
constexpr UINT kTransferStateMessage = WM_APP + 1;
// Window work noted by the setters waits to be done (see Win32Ui).
constexpr UINT kApplyPendingMessage = WM_APP + 2;
// A failure reported from another thread waits to end the program.
constexpr UINT kFailureMessage = WM_APP + 3;
// The transfer's progress changed: lParam the request's serial.
constexpr UINT kTransferProgressMessage = WM_APP + 4;
// A transfer's request waits for a login the user gives in the system's dialog (a proxy or
// the site asked for one): lParam the request's serial.
constexpr UINT kTransferLoginMessage = WM_APP + 5;

}  // namespace vexa
