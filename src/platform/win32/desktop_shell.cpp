#include "platform/win32/desktop_shell.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shobjidl.h>

#include "platform/win32/com_runtime.h"
#include "platform/win32/shell_api.h"
#include "platform/win32/win_error.h"
#include "platform/win32/win_handle.h"

// shellapi.h makes ShellExecute a macro for the function; here it is IShellDispatch2's method.
#undef ShellExecute

namespace vexa {
namespace {

// The service of a shell view's window that answers with its top-level browser.
constexpr GUID kTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};

// A BSTR of the shell's, freed once.
void FreeString(BSTR text) {
  ComRuntime().SysFreeString(text);
}
using ShellString = Owned<BSTR, &FreeString>;

}  // namespace

// The desktop's window in the shell's list, its browser, the view of its folder, and from
// that view the shell's automation object, whose ShellExecute runs inside Explorer.
bool OpenThroughDesktop(const Text& file) noexcept {
  try {
    const ComApi& api = ComRuntime();
    ComPtr<IShellWindows> windows;
    if (FAILED(api.CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                    IID_IShellWindows, windows.OutVoid()))) {
      return false;
    }
    VARIANT desktop = {};
    desktop.vt = VT_I4;
    desktop.lVal = CSIDL_DESKTOP;
    VARIANT empty = {};
    long window = 0;
    ComPtr<IDispatch> found;
    if (windows->FindWindowSW(&desktop, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              found.Out()) != S_OK) {
      return false;
    }
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(found->QueryInterface(IID_IServiceProvider, services.OutVoid())) ||
        FAILED(services->QueryService(kTopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) ||
        FAILED(browser->QueryActiveShellView(view.Out())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())) ||
        FAILED(folderView->get_Application(application.Out())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.OutVoid()))) {
      return false;
    }
    const ShellString name(
        ComRuntime().SysAllocString(reinterpret_cast<const OLECHAR*>(file.c_str())));
    if (name.Get() == nullptr) return false;
    return SUCCEEDED(shell->ShellExecute(name.Get(), empty, empty, empty, empty));
  } catch (...) {
    return false;  // the libraries could not be loaded: no route
  }
}

}  // namespace vexa
