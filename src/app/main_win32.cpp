// Entry point of vexa_update.exe: builds the Windows platform, the update window and its
// logic, raises the load event and runs the message loop. Every unexpected failure ends the
// program here, in one error box.

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/checked_files_win32.h"
#include "form/frm_update.h"
#include "platform/win32/clock_win32.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/environment_win32.h"
#include "platform/win32/files/files_win32.h"
#include "platform/win32/log_win32.h"
#include "platform/win32/processes_win32.h"
#include "platform/win32/program_end_win32.h"
#include "platform/win32/running_copies_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/system_folders.h"
#include "platform/win32/system_library.h"
#include "platform/win32/transfer/transfer_wininet.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"
#include "settings.h"
#include "window/layout.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif
#ifndef BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE
#define BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE 0x00000001
#define BASE_SEARCH_PATH_PERMANENT 0x00008000
#endif

namespace {

using namespace vexa;

// The program runs with administrator rights from a download folder: libraries come from the
// system folder only, never from the program's folder or the current one, where a planted
// DLL could wait. Windows 7 without its 2011 updates lacks both functions; there, at least
// the current folder leaves the search (SetDllDirectoryW with an empty text).
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  using SetSearchPathModeFunction = BOOL(WINAPI*)(DWORD);
  const SystemLibrary kernel(L"kernel32.dll");
  if (auto setDefaultDllDirectories =
          kernel.Find<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories")) {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryW(L"");
  }
  if (auto setSearchPathMode = kernel.Find<SetSearchPathModeFunction>("SetSearchPathMode")) {
    setSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  }
}

// What failed, as the error box says it, and the system's error number behind it (0: none).
struct Failure {
  Text text;
  std::uint32_t code = 0;
  // For the log: the number too, which the box's words may not pin down; an HRESULT (from
  // 0x80000000 on) in hexadecimal, as the system's documentation lists them.
  Text Logged() const {
    if (code == 0) return text;
    const Text number = code >= 0x80000000u ? u"0x" + HexText(code, 8) : DecimalText(code);
    return text + u" (error " + number + u")";
  }
};

Failure FailureOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const PlatformError& error) {
    return {error.message(), error.systemCode()};
  } catch (const std::bad_alloc&) {
    return {u"内存不足。"};
  } catch (const std::exception& error) {
    return {TextFromCodePage(error.what(), CP_UTF8)};  // invalid bytes become U+FFFD
  } catch (...) {
    return {u"未知的错误。"};
  }
}

// The one error box of the program: what failed and where the log is, then the program ends
// at once with exit code 1, as it ends normally: a worker that did not stop in time goes with
// it.
[[noreturn]] void ShowFailure(LogWin32& log, const Failure& failure) {
  log.Write(u"ended through the error box: " + failure.Logged());
  RemoveRunFolder();  // the objects that had files in it are gone
  // A quit message still queued by the window would close the box at once.
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  Text text = u"程序遇到意外错误，无法继续运行：\r\n" + failure.text;
  const std::wstring logPath = log.Path();
  if (!logPath.empty()) text += u"\r\n\r\n详细记录：" + FromWide(logPath);
  MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(WindowForm().caption).c_str(),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  EndProcess(1);
}

// The run's first lines in the log: which program (and, for a try-out build, that it runs its
// downloads unchecked), from where, asked what.
void LogStart(Log& log) {
  const std::wstring path = ProgramPath();
  log.Write(Text(u"vexa_update ") + kProgramVersion +
            (sizeof(void*) == 8 ? u" (64-bit)" : u" (32-bit)") + u" started: " + FromWide(path));
  if (kDownloadsUnchecked)
    log.Write(u"downloads are not checked (built with VEXA_UNVERIFIED_DOWNLOADS)");
  log.Write(u"command line: " + FromWide(GetCommandLineW()));
}

int Run(HINSTANCE instance, Log& log) {
  // Failures on the other threads (process starts, the transfer's spool) come to the window,
  // which throws them on its own thread, to the error box below.
  // Held from the load event (the first thing it does) until the process ends.
  RunningCopiesWin32 copies(log);
  ComApartment com;  // first made, last gone: the window and the shell use COM in it
  Win32Ui ui(instance, WindowForm(), com);
  const auto reportFailure = [&ui, &log](std::exception_ptr failure) {
    log.Write(u"failure on another thread: " + FailureOf(failure).Logged());
    ui.ReportFailure(failure);
  };
  // A file a virus scanner holds is waited for, and the state line says so.
  const auto heldFile = [&ui, &log](const Text& path) {
    log.Write(path + u": held by another program; waited for, " +
              DecimalText(kHeldFileWaitMs / 1000) + u" s at most");
    ui.SetCaption(Control::Label_http_state, u"正在等待其他程序释放文件 " + path + u" ...");
    ui.ShowPendingNow();
  };
  FilesWin32 files(&CheckDownload, heldFile);
  ProcessesWin32 processes(reportFailure, log);
  ShellWin32 shell(log, com);
  shell.SetHeldFileNotice(heldFile);
  TransferWinInet inet1(reportFailure, log);
  CodePageWin32 codePage;
  EnvironmentWin32 environment;
  ClockWin32 clock;
  // The normal end and a close: registrations asked for are started, transfer workers are
  // stopped, and a failure still on its way shows the error box instead of a quiet end.
  ProgramEndWin32 end([&ui, &processes, &inet1, &log] {
    ui.ShowPendingNow();
    processes.FinishStarting();
    inet1.Stop();
    ui.ThrowReportedFailure();
    log.Write(u"ended normally");
    RemoveRunFolder();
  });
  FrmUpdate form(
      Platform{ui, files, processes, shell, inet1, codePage, environment, end, log, clock, copies});

  ui.Connect([&form](Control source, EventKind kind,
                     std::int16_t argument) { return form.Raise(source, kind, argument); },
             [&inet1](LPARAM serial) { return inet1.IsCurrentRequest(serial); });
  ui.ConnectLogin([&inet1, &ui] { inet1.SignIn(ui.MainWindow()); });
  inet1.SetNotifyWindow(ui.MainWindow());
  ui.OnResumeFromSleep([&inet1] { inet1.Resume(); });
  std::vector<Text> sites{kDownloadBase};
  for (const char16_t* const* mirror = kDownloadMirrors; *mirror != nullptr; ++mirror) {
    sites.emplace_back(*mirror);
  }
  inet1.SetSites(std::move(sites));
  form.Raise(Control::Form, EventKind::Load);
  inet1.PreparePartials();  // once the window shows
  RemoveOldRunFolders(log);
  return ui.RunMessageLoop();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictLibrarySearch();
  // A long save runs without returning to the message loop; keep Windows from replacing the
  // window with a frozen "not responding" copy, so the bar is seen moving.
  DisableProcessWindowsGhosting();
  LogWin32 log(LogWin32::DefaultPath());
  try {
    LogStart(log);
    return Run(instance, log);
  } catch (...) {
    ShowFailure(log, FailureOf(std::current_exception()));
  }
}
