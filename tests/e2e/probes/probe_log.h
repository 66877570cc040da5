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
  for (const std::wstring& field : fields) {
    if (&field != &fields.front()) text += L'\t';
    for (std::size_t c = 0; c < field.size(); ++c) {
      if (field[c] != L'\r' && field[c] != L'\n') {
        text += field[c];
      } else if (field.compare(c, 2, L"\r\n") != 0) {  // a CR LF is one break, at its LF
        text += L"\\n";
      }
    }
  }
  text += L"\n";
  std::string line(4 * text.size(), '\0');
  line.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  line.data(), static_cast<int>(line.size()), nullptr, nullptr));
  for (int attempt = 0; attempt < 500; ++attempt, Sleep(10)) {
    HANDLE h = CreateFileW(file, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(h);
    return;
  }
}
