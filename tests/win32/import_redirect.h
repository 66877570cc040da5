#pragma once

// Redirect: the probe's own calls of a system function, through its import table, go to a
// replacement (the Windows layer is linked into the probe, so its calls are the probe's).
// `original` gets the system's function. False when the probe does not import it.

#include <windows.h>

template <class Function>
bool Redirect(const wchar_t* module, const char* name, Function replacement, Function& original) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  const FARPROC target = GetProcAddress(GetModuleHandleW(module), name);
  original = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(target));
  bool found = false;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name;
       ++library) {
    for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
         slot->u1.Function; ++slot) {
      if (slot->u1.Function != reinterpret_cast<ULONG_PTR>(target)) continue;
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof(void*), PAGE_READWRITE, &protection);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof(void*), protection, &protection);
      found = true;
    }
  }
  return found;
}
