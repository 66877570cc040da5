// The accessible object of one of the window's own controls. Its role, name, value and state
// are the control's; everything else comes from the system's standard object for the window.
// The system's progress-bar proxy (CreateStdAccessibleProxyW) would name the bar after a
// neighbouring static control, which the window's painted labels are not; Wine 8 does not
// implement it at all.

#include "platform/win32/window/accessible_control.h"

#include "platform/win32/code_page_win32.h"
#include "platform/win32/com_runtime.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win_handle.h"

// Loaded when a reader first asks for an object: a window nobody reads starts without them.
#define VEXA_OLEACC_FUNCTIONS(F) F(CreateStdAccessibleObject) F(LresultFromObject)

namespace vexa {

namespace {

struct AccessibilityApi {
  VEXA_OLEACC_FUNCTIONS(VEXA_FUNCTION_MEMBER)
};

const AccessibilityApi& Oleacc() {
  return BoundOnce<AccessibilityApi>(
      [](AccessibilityApi& api) { VEXA_BIND_FROM(L"oleacc.dll", VEXA_OLEACC_FUNCTIONS); });
}

bool IsSelf(const VARIANT& child) {
  return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// A text for the caller, who frees it; S_FALSE and none for an empty text.
HRESULT Give(const Text& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ComRuntime().SysAllocString(ToWide(text).c_str());
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT GiveNumber(long number, VARIANT* out) {
  if (!out) return E_POINTER;
  out->vt = VT_I4;
  out->lVal = number;
  return S_OK;
}

class AccessibleControl final : public IAccessible {
 public:
  AccessibleControl(HWND window, AccessibleFactsOf factsOf) : window_(window), factsOf_(factsOf) {}
  AccessibleControl(const AccessibleControl&) = delete;
  AccessibleControl& operator=(const AccessibleControl&) = delete;

  // Makes the standard object the rest comes from; false when the system can't.
  bool Connect(const AccessibilityApi& api) {
    return SUCCEEDED(
        api.CreateStdAccessibleObject(window_, OBJID_CLIENT, IID_IAccessible, standard_.OutVoid()));
  }

  // IUnknown. The standard object's enumerator of the child windows stands for this one's.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (id == IID_IEnumVARIANT) return standard_->QueryInterface(id, out);
    if (id != IID_IUnknown && id != IID_IDispatch && id != IID_IAccessible) return E_NOINTERFACE;
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: readers call the interface's own members; no type information is offered.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // What the control says of itself.
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child)) return standard_->get_accRole(child, role);
    const auto facts = factsOf_(window_);
    return facts ? GiveNumber(facts->role, role) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!IsSelf(child)) return standard_->get_accName(child, name);
    const auto facts = factsOf_(window_);
    return facts ? Give(facts->name, name) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (!IsSelf(child)) return standard_->get_accValue(child, value);
    const auto facts = factsOf_(window_);
    if (!facts) return E_FAIL;
    if (!value) return E_POINTER;
    *value = nullptr;
    return facts->value ? Give(*facts->value, value) : DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!IsSelf(child)) return standard_->get_accState(child, state);
    const auto facts = factsOf_(window_);
    return facts ? GiveNumber(facts->state, state) : E_FAIL;
  }

  // The rest is the window's, as the system sees it.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
    return standard_->get_accHelp(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
    return standard_->get_accKeyboardShortcut(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    return standard_->get_accFocus(focus);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    return standard_->get_accSelection(selection);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long how, VARIANT child) override {
    return standard_->accSelect(how, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~AccessibleControl() = default;  // by Release only

  LONG references_ = 1;
  HWND window_;
  AccessibleFactsOf factsOf_;
  ComPtr<IAccessible> standard_;
};

}  // namespace

std::optional<LRESULT> AnswerAccessibleObject(HWND window, WPARAM flags,
                                              AccessibleFactsOf factsOf) {
  try {
    const AccessibilityApi& api = Oleacc();
    auto* control = new AccessibleControl(window, factsOf);
    std::optional<LRESULT> answer;
    // The answer holds a reference of its own; a failure (negative) is answered as it is.
    if (control->Connect(api)) answer = api.LresultFromObject(IID_IAccessible, flags, control);
    control->Release();
    return answer;
  } catch (...) {  // no accessibility library: the window goes on as the system presents it
    return std::nullopt;
  }
}

}  // namespace vexa
