#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Every probe appends one line per event to this file: tab-separated UTF-8 fields.
// Several probes may write at once: each holds the file alone while it appends its line.
inline constexpr wchar_t kProbeLog[] = L"C:\\e2e\\events.log";

inline std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

inline void AppendRecord(const std::vector<std::wstring>& fields, const wchar_t* file = kProbeLog) {
  std::wstring text;
  for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? L"\t" : L"") + fields[i];
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
