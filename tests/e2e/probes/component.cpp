// Stands in for every component the program downloads and registers, and for a library
// planted beside the program: it records each process that loads it and each registration.
#include "probe_log.h"

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    AppendRecord({L"load", ModulePath(instance), ModulePath(nullptr)});
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  AppendRecord({L"register", ModulePath(self)});
  return S_OK;
}
