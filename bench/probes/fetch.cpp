// The plain way to download a file with WinINet: 64 KB reads straight into the file.
// Usage: fetch.exe <url> <file>. Exit code 0 when the whole body was saved.
#include <windows.h>
#include <wininet.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  constexpr DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                           INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
  HINTERNET session = InternetOpenW(L"fetch", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = session ? InternetOpenUrlW(session, argv[1], nullptr, 0, kFlags, 0) : nullptr;
  HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!request || file == INVALID_HANDLE_VALUE) return 1;
  static char block[64 * 1024];
  DWORD read = 0, written = 0;
  bool ok = true;
  while ((ok = InternetReadFile(request, block, sizeof block, &read) != FALSE) && read > 0) {
    if (!WriteFile(file, block, read, &written, nullptr) || written != read) return 1;
  }
  CloseHandle(file);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return ok ? 0 : 1;
}
