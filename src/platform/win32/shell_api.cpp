#include "platform/win32/shell_api.h"

#include "platform/win32/win_handle.h"

namespace vexa {

const ShellApi& Shell32() {
  return BoundOnce<ShellApi>([](ShellApi& api) {
    VEXA_BIND_FROM(L"shell32.dll", VEXA_SHELL32_FUNCTIONS);
    VEXA_BIND_FROM(L"ole32.dll", VEXA_OLE32_FUNCTIONS);
    VEXA_BIND_FROM(L"oleaut32.dll", VEXA_OLEAUT32_FUNCTIONS);
  });
}

ComApartment::~ComApartment() {
  if (ready_) Shell32().CoUninitialize();
}

bool ComApartment::Enter() {
  if (tried_) return ready_;
  tried_ = true;
  try {
    ready_ = SUCCEEDED(
        Shell32().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  } catch (...) {  // ole32.dll could not be loaded: no COM, and those who need it go without
    ready_ = false;
  }
  return ready_;
}

}  // namespace vexa
