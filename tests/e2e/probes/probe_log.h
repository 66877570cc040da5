#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every probe appends one line per event to this file: tab-separated UTF-8 fields, a line
// break inside a field written as "\n" (backslash, n).
// Several probes may write at once: each holds the file alone while it appends its line.
inline constexpr wchar_t kProbeLog[] = L"C:\\e2e\\events.log";

inline std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

inline void AppendRecord(const std::vector<std::wstring>& fields, const wchar_t* file = kProbeLog) {
  std::wstring text;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) text += L"\t";
    for (std::size_t c = 0; c < fields[i].size(); ++c) {
      if (fields[i][c] == L'\r' && c + 1 < fields[i].size() && fields[i][c + 1] == L'\n') ++c;
      if (fields[i][c] == L'\r' || fields[i][c] == L'\n') {
        text += L"\\n";
      } else {
        text += fields[i][c];
      }
    }
  }
  text += L"\n";
  std::string line(4 * text.size(), '\0');
  line.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  line.data(), static_cast<int>(line.size()), nullptr, nullptr));
  for (int attempt = 0; attempt < 500; ++attempt, Sleep(10)) {
    HANDLE h =
        CreateFileW(file, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    SetFilePointer(h, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(h);
    return;
  }
}
