#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every probe appends one line per event to this file: tab-separated UTF-8 fields.
// Several probes may write at once: each holds the file alone while it appends its line.
inline constexpr wchar_t kProbeLog[] = L"C:\\e2e\\events.log";

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

inline std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

inline void AppendRecord(const std::vector<std::wstring>& fields) {
  std::string line;
  for (const auto& f : fields) line += (line.empty() ? "" : "\t") + Utf8(f);
  line += "\n";
  for (int attempt = 0; attempt < 500; ++attempt) {
    HANDLE h = CreateFileW(kProbeLog, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      SetFilePointer(h, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(h);
      return;
    }
    Sleep(10);
  }
}
