#include "platform/win32/com_runtime.h"

namespace vexa {

const ComApi& ComRuntime() {
  return BoundOnce<ComApi>([](ComApi& api) {
    VEXA_BIND_FROM(L"ole32.dll", VEXA_OLE32_FUNCTIONS);
    VEXA_BIND_FROM(L"oleaut32.dll", VEXA_OLEAUT32_FUNCTIONS);
  });
}

ComApartment::~ComApartment() {
  if (ready_) ComRuntime().CoUninitialize();
}

bool ComApartment::Enter() {
  if (tried_) return ready_;
  tried_ = true;
  try {
    ready_ = SUCCEEDED(
        ComRuntime().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  } catch (...) {  // ole32.dll could not be loaded: no COM, and those who need it go without
    ready_ = false;
  }
  return ready_;
}

}  // namespace vexa
