#include "platform/win32/running_copies_win32.h"

#include "platform/text.h"
#include "platform/win32/code_page_win32.h"
#include "platform/win32/elevated_files.h"
#include "platform/win32/system_text.h"
#include "platform/win32/window/window_messages.h"

namespace vexa {
namespace {

constexpr wchar_t kBoundary[] = L"Tollumo";
constexpr wchar_t kMutex[] = L"vexa_update.lock";
constexpr wchar_t kSection[] = L"vexa_update.process";
constexpr wchar_t kMessageBoxClass[] = L"#32770";

// The visible window of `process` a user should see: its message box when it shows one, else
// its main window.
struct Found {
  DWORD process;
  HWND box = nullptr;
  HWND main = nullptr;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM parameter) {
  Found& found = *reinterpret_cast<Found*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != found.process || !IsWindowVisible(window)) return TRUE;
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (wcscmp(name, kMessageBoxClass) == 0) found.box = window;
  if (wcscmp(name, kMainWindowClass) == 0) found.main = window;
  return TRUE;
}

}  // namespace

RunningCopiesWin32::~RunningCopiesWin32() {
  if (held_) ReleaseMutex(mutex_.Get());
}

void RunningCopiesWin32::OpenNamespace() {
  if (namespaceTried_) return;
  namespaceTried_ = true;
  HANDLE boundary = CreateBoundaryDescriptorW(kBoundary, 0);
  DWORD error = GetLastError();
  if (boundary != nullptr) {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        AddSIDToBoundaryDescriptor(&boundary, administrators)) {
      namespace_ = CreatePrivateNamespaceW(PrivateAttributes(), boundary, kBoundary);
      if (namespace_ == nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        namespace_ = OpenPrivateNamespaceW(boundary, kBoundary);
      }
    }
    error = GetLastError();
    DeleteBoundaryDescriptor(boundary);
  }
  if (namespace_ == nullptr) {
    log_.Write(u"one copy at a time: no private namespace (error " + DecimalText(error) +
               u"): a Global\\ name open to Administrators and SYSTEM only");
  }
}

std::wstring RunningCopiesWin32::NameOf(const wchar_t* object) {
  OpenNamespace();
  return (namespace_ != nullptr ? std::wstring(kBoundary) + L"\\" : L"Global\\Tollumo.") + object;
}

bool RunningCopiesWin32::TakeLock() {
  // Administrators and SYSTEM only (the files' private DACL, whose all-access covers a mutex's
  // and a section's): nobody else can open, hold or change them.
  const std::wstring name = NameOf(kMutex);
  mutex_.Reset(CreateMutexW(PrivateAttributes(), FALSE, name.c_str()));
  const DWORD error = GetLastError();
  if (!mutex_.Valid()) {
    // Only something that is not this program can have made it so (a standard user's object
    // of that name where there is no private namespace): it is not a copy of ours.
    log_.Write(u"one copy at a time: " + FromWide(name) + u" can't be opened (error " +
               DecimalText(error) + u"): going on");
    return true;
  }
  const DWORD taken = WaitForSingleObject(mutex_.Get(), 0);
  if (taken == WAIT_TIMEOUT) return false;
  held_ = true;
  if (taken == WAIT_ABANDONED) {
    log_.Write(u"one copy at a time: taken over from a copy that ended without letting go");
  }
  section_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, PrivateAttributes(), PAGE_READWRITE, 0,
                                    sizeof(DWORD), NameOf(kSection).c_str()));
  if (section_.Valid()) {
    if (void* view = MapViewOfFile(section_.Get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
      *static_cast<volatile DWORD*>(view) = GetCurrentProcessId();
      UnmapViewOfFile(view);
    }
  }
  return true;
}

std::uint32_t RunningCopiesWin32::RunningProcess() {
  const UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, NameOf(kSection).c_str()));
  if (!section.Valid()) return 0;
  const void* view = MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, sizeof(DWORD));
  if (view == nullptr) return 0;
  const DWORD process = *static_cast<const volatile DWORD*>(view);
  UnmapViewOfFile(view);
  return process;
}

RunningCopy RunningCopiesWin32::BringRunningCopyToFront(std::int32_t waitMs) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(waitMs);
  RunningCopy running;
  do {
    if (running.process == 0) running.process = RunningProcess();
    Found found{running.process};
    if (found.process != 0) EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&found));
    if (HWND window = found.box ? found.box : found.main) {
      for (HWND each : {GetWindow(window, GW_OWNER), window}) {
        if (each != nullptr && IsIconic(each)) ShowWindow(each, SW_RESTORE);
      }
      // Started by the user a moment ago, this program may give the foreground away.
      SetForegroundWindow(window);
      running.shown = true;
      return running;
    }
    Sleep(100);
  } while (GetTickCount64() < end);
  return running;
}

}  // namespace vexa
