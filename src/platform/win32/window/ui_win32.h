#pragma once

// The update window on Win32.
//
// What a UI robot may rely on (the end-to-end suite does; keep it stable):
// - The main window is a top-level window of class "FrmUpdate" titled "Tollumo".
// - Every control of the layout except Inet1 is a real child window, created at its layout
//   position. Its control ID (GetDlgCtrlID) is 100 + static_cast<int>(Control) from
//   platform/ui.h: Command2 101, Picture_http 102, Picture1 103, Label_http_state2 104,
//   Label_http_state 105, Picture_z 107, Command1 108, Command_refresh 109, Label5 110,
//   Label_v 111, Image1 112, Label4 113, Label2 114, Label1 115, Label3 116.
// - A control's window text (WM_GETTEXT) is its caption; labels included.
// - A hidden control has no WS_VISIBLE style; a disabled one is disabled with EnableWindow.
// - Buttons are BUTTON windows: BM_CLICK, a mouse click, or Enter or Space while the button
//   has the keyboard focus raises their Click event. Tab moves among the enabled buttons and
//   the link area (Label2), the start button first and the link area last; Enter or Space
//   while the link area has the focus raises its Click event.
// - A label is clicked by WM_LBUTTONDOWN and then WM_LBUTTONUP on it, the release at client
//   coordinates inside it (the second press of a double-click gives no second Click);
//   WM_MOUSEMOVE on a label or on the main window's client area raises that control's
//   MouseMove event.
// - WM_CLOSE and WM_QUERYENDSESSION on the main window raise the window's QueryUnload event.
// - The transfer control's states arrive as kTransferStateMessage, its progress as
//   kTransferProgressMessage (window_messages.h); a request's wish for a login as
//   kTransferLoginMessage, on which the system's login dialog (WinINet's, a "#32770" window
//   owned by the main window, with an edit for the user name and one for the password) shows.
// - The windows show the controls' latest values whenever the window's thread waits for
//   messages (see "Window work" below); during the save of a body they are brought up to date
//   a few dozen times a second.
// - The windows of the program's own classes answer WM_GETOBJECT for their client area
//   (OBJID_CLIENT) with an IAccessible (which Wine hands out only inside the process):
//   Picture_http is a grouping named by Label_http_state's text, Picture1 a progress bar
//   named "下载进度" whose value is Label_http_state2's percentage ("0%" to "100%"), Label2 a
//   link named by the site's address, Image1 a graphic, every other label static text named
//   by its text. Whenever the window work sets a control's text, it raises
//   EVENT_OBJECT_NAMECHANGE for that control's client area (and for Picture_http's with
//   Label_http_state's) and, when the percentage changes, EVENT_OBJECT_VALUECHANGE for
//   Picture1's.

#include <windows.h>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ui.h"
#include "platform/win32/com_runtime.h"
#include "platform/win32/win_handle.h"
#include "platform/win32/window/accessible_control.h"
#include "platform/win32/window/taskbar_win32.h"
#include "platform/win32/window/window_messages.h"
#include "window/screen_units.h"
#include "window/ui_layout.h"

namespace vexa {

class Win32Ui final : public Ui {
 public:
  // Receives every event of every control; the window's routing decides which have handlers.
  // Returns false for an event without a handler.
  using EventSink = std::function<bool(Control, EventKind, std::int16_t)>;
  // Tells a state message of the current transfer from one of a request already replaced.
  using TransferFilter = std::function<bool(LPARAM serial)>;
  // Shows the login dialog for the current transfer's request.
  using LoginSink = std::function<void()>;

  static constexpr int kFirstControlId = 100;

  // Creates the hidden window and all its controls as `form` lays them out; `form` and `com`
  // (the apartment the taskbar button is made in) must outlive this object.
  Win32Ui(HINSTANCE instance, const FormLayout& form, ComApartment& com);
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;
  ~Win32Ui() override;

  void Connect(EventSink events, TransferFilter currentTransfer);
  // Told when Windows says the PC has woken from sleep (the transfer control starts its next
  // attempt at once then).
  void OnResumeFromSleep(std::function<void()> resumed) { resumed_ = std::move(resumed); }
  void ConnectLogin(LoginSink login) { login_ = std::move(login); }
  HWND MainWindow() const { return main_; }
  // Dispatches messages until the program ends. An exception thrown by an event handler
  // ends the loop and is thrown again from here, outside every window procedure.
  int RunMessageLoop();
  // Brings every window up to date and paints it at once: for the last moment before the
  // program ends, so that what the logic set last is what is seen.
  void ShowPendingNow();
  // Any thread: ends the program with this failure, as if an event handler had thrown it,
  // once the window's thread next handles messages.
  void ReportFailure(std::exception_ptr failure);
  // Window's thread: throws the failure reported from another thread and not yet handled, if
  // there is one; for the end of the program, which must not pass over it.
  void ThrowReportedFailure();

  void SetCaption(Control control, const Text& caption) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetFocus(Control control) override;
  void SetVisible(Control control, bool visible) override;
  void SetForeColor(Control control, OleColor color) override;
  float Left(Control control) const override;
  float Width(Control control) const override;
  void SetWidth(Control control, float twips) override;
  float ScaleWidth() const override;
  void SetTaskbarProgress(TaskbarState state, std::int64_t done, std::int64_t total) override;
  void Show() override;
  WindowHandle Handle() const override;
  void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon) override;

 private:
  // Window work. A setter changes the control's state at once (so the logic reads back
  // exactly what it set) and notes the work its window still needs; ApplyPending does that
  // work. The save loop changes the bar and the percentage for every kilobyte, far more often
  // than anyone can see, so the work waits: it is done with the throttled repaint
  // (PaintWhenDue) and before the message loop waits again; a message posted to the main
  // window at the first noted change has a modal loop (a message box, moving the window)
  // do it as well.
  enum PendingWork : unsigned {
    kPendingText = 1,     // SetWindowText
    kPendingEnabled = 2,  // EnableWindow
    kPendingVisible = 4,  // ShowWindow
    kPendingPlace = 8,    // SetWindowPos, when the pixels differ
    kPendingRedraw = 16,  // a label or the image: redraw it on its container's surface
  };

  // What the window knows of one control beyond its window: the exact twips values and the
  // properties that labels draw with.
  struct ControlState {
    const ControlLayout* layout = nullptr;
    HWND window = nullptr;
    float left = 0, top = 0, width = 0, height = 0;
    Text caption;
    OleColor foreColor = 0;
    bool visible = true;
    bool enabled = true;
    HFONT font = nullptr;
    unsigned pending = 0;  // PendingWork bits
    RECT placed{};         // where the window is, in pixels of its container
  };

  // Creation (ui_create_win32.cpp).
  void RegisterClasses();
  void CreateMainWindow();
  void CreateControl(const ControlLayout& layout);
  ControlState& PrepareState(const ControlLayout& layout);
  GdiFont MakeFont(const FontSpec& wanted) const;
  void FitToText(ControlState& state);

  // Messages (ui_messages_win32.cpp): the procedure finds the control a window shows,
  // HandleMessage decodes the message, calls the one member below that acts on it and
  // answers it (a member returns the answer where it depends on the case), or answers
  // nothing to leave the message to the system.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> HandleMessage(HWND window, Control control, UINT message, WPARAM wParam,
                                       LPARAM lParam);
  void OnMouseMove(Control control);
  void OnPress(HWND window, std::optional<Control> clicked);
  void OnRelease(HWND window, Control control, POINT point);
  void OnCaptureChanged();
  void OnCommand(int id, int notification, HWND from);
  void OnClose();
  void OnQueryEndSession();
  void OnDestroy();
  void OnSetFocus();
  void OnLinkFocus(Control control);
  void OnLinkSpace(Control control, bool repeated);
  void OnReportedFailure();
  void OnTaskbarButtonCreated();
  void OnTransferState(WPARAM state, LPARAM serial);
  void OnTransferProgress(LPARAM serial);
  void OnPowerBroadcast(WPARAM event);
  void OnTransferLogin(LPARAM serial);
  void PressFocusedControl();
  bool RaiseEvent(Control control, EventKind kind, std::int16_t argument = 0);

  // Window work (ui_pending_win32.cpp).
  void OnApplyPending();
  void NoteWindowWork(ControlState& state, unsigned work);
  void ApplyPending();
  void PlaceWindow(ControlState& state);
  void InvalidateSurface(Control container, const RECT& area);
  void PaintWhenDue();

  // Painting (ui_paint_win32.cpp): a container's surface is its background, the image and
  // the label texts drawn on it, bottom first. Label and image windows show the surface under
  // them, so they look transparent and overlapping labels all stay readable.
  void OnEraseBackground(Control control, HDC dc);
  std::optional<LRESULT> OnFramePaint(Control control);
  std::optional<LRESULT> OnPrintClient(HWND window, Control control, HDC dc);
  void OnPaint(HWND window, Control control);
  LRESULT OnButtonColor(Control container, HDC dc);
  // `focus`: with the focus rectangle, which inverts what it covers: only the one paint of a
  // pixel that stays on the screen draws it.
  void PaintSurface(Control container, HDC dc, const RECT& area, bool focus = true) const;
  void PaintLabel(const ControlState& label, HDC dc) const;
  OleColor BackColorOf(Control container) const;
  bool ShowsFocus(const ControlState& state) const;
  RECT FocusRect(const ControlState& link) const;
  // High contrast: the system's colours for backgrounds, texts and the bar instead of the
  // layout's; read at the start and again when the system's settings or colours change.
  void FollowSystemColors();

  // Accessibility (ui_accessible_win32.cpp): what a screen reader reads of a control, and
  // what it hears of the changes. The link area is also the one label the keyboard reaches.
  std::optional<LRESULT> OnGetObject(HWND window, Control control, WPARAM flags, LPARAM object);
  static std::optional<AccessibleFacts> FactsOf(HWND window);
  AccessibleFacts Facts(Control control) const;
  void AnnounceText(Control control);
  static bool IsLink(Control control);

  ControlState& State(Control control) { return controls_[static_cast<int>(control)]; }
  const ControlState& State(Control control) const { return controls_[static_cast<int>(control)]; }
  // Labels and the image are drawn on their container's surface (ui_create_win32.cpp).
  bool IsDrawnOnContainer(const ControlState& state) const;
  RECT PixelRect(const ControlState& state) const;

  static constexpr int kControlCount = static_cast<int>(Control::Label3) + 1;  // last entry

  HINSTANCE instance_;
  const FormLayout& form_;
  ComApartment& com_;  // where the accessible objects live
  ScreenDpi dpi_;
  GdiFont defaultFont_;
  std::vector<GdiFont> ownFonts_;
  GdiBitmap image_;
  std::array<ControlState, kControlCount> controls_{};
  HWND main_ = nullptr;
  std::optional<TaskbarButton> taskbar_;  // once the main window exists
  EventSink events_;
  TransferFilter currentTransfer_;
  std::function<void()> resumed_;
  LoginSink login_;
  std::exception_ptr failure_;
  std::mutex reportedMutex_;
  std::exception_ptr reported_;  // from another thread, guarded by reportedMutex_
  // Between a press and its release: the control whose release clicks it (none after the
  // second press of a double-click).
  bool pressing_ = false;
  std::optional<Control> pressed_;
  bool applyPosted_ = false;  // a kApplyPendingMessage waits in the queue
  DWORD lastPaint_ = 0;
  bool highContrast_ = false;
  int announcedPercent_ = 0;  // the bar's value in the last value change raised
};

}  // namespace vexa
