// Making and unmaking the update window: its classes, the main window, and a child window
// for every control of the layout, in the layout's stacking order, each placed in pixels
// from its twips and, when the layout says so, sized to its text.

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "platform/win32/code_page_win32.h"
#include "platform/win32/failure_texts.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"
#include "resource.h"

namespace vexa {

namespace {

constexpr wchar_t kPictureClass[] = L"VexaPictureBox";
constexpr wchar_t kLabelClass[] = L"VexaLabel";
constexpr wchar_t kImageClass[] = L"VexaImage";

}  // namespace

Win32Ui::Win32Ui(HINSTANCE instance, const FormLayout& form, ComApartment& com)
    : instance_(instance), form_(form), com_(com) {
  {
    ScreenDc screen;
    if (screen.Get()) {
      dpi_.x = GetDeviceCaps(screen.Get(), LOGPIXELSX);
      dpi_.y = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
  }
  defaultFont_ = MakeFont(form_.font);
  image_ = GdiBitmap(static_cast<HBITMAP>(LoadImageW(instance_, MAKEINTRESOURCEW(IDB_IMAGE1),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!image_) throw SystemError(GetLastError(), failure::kCannotLoadPicture, u"");
  FollowSystemColors();
  RegisterClasses();
  CreateMainWindow();
  taskbar_.emplace(main_, com);
  // A new child window goes below its elder siblings: created in the layout's order, topmost
  // first (containers before their contents), the controls stack as the layout lists them.
  for (const ControlLayout& layout : form_.controls) CreateControl(layout);
}

Win32Ui::~Win32Ui() {
  // The windows go without raising events: detach them from this object first.
  for (const ControlState& state : controls_) {
    if (state.window) SetWindowLongPtrW(state.window, GWLP_USERDATA, 0);
  }
  if (main_) DestroyWindow(main_);
}

void Win32Ui::Connect(EventSink events, TransferFilter currentTransfer) {
  events_ = std::move(events);
  currentTransfer_ = std::move(currentTransfer);
}

GdiFont Win32Ui::MakeFont(const FontSpec& wanted) const {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(wanted.points, dpi_.y, 72);
  font.lfWeight = wanted.weight;
  font.lfItalic = static_cast<BYTE>(wanted.italic);
  font.lfUnderline = static_cast<BYTE>(wanted.underline);
  font.lfStrikeOut = static_cast<BYTE>(wanted.strikethrough);
  font.lfCharSet = static_cast<BYTE>(wanted.charset);
  lstrcpynW(font.lfFaceName, ToWide(wanted.face).c_str(), LF_FACESIZE);
  GdiFont made(CreateFontIndirectW(&font));
  if (!made) throw SystemError(GetLastError(), failure::kCannotCreateFont, wanted.face);
  return made;
}

void Win32Ui::RegisterClasses() {
  const auto icon = [this](int metric) {
    const int size = GetSystemMetrics(metric);
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_VEXA_UPDATE), IMAGE_ICON,
                                         size, size, LR_SHARED));
  };
  const auto enroll = [](const WNDCLASSEXW& windowClass) {
    if (!RegisterClassExW(&windowClass)) {
      const DWORD error = GetLastError();
      throw SystemError(error, failure::kCannotRegisterClass, FromWide(windowClass.lpszClassName));
    }
  };
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // Only the main window carries the program's icon, in the two sizes the system shows.
  windowClass.lpszClassName = kMainWindowClass;
  windowClass.hIcon = icon(SM_CXICON);
  windowClass.hIconSm = icon(SM_CXSMICON);
  enroll(windowClass);
  windowClass.hIcon = windowClass.hIconSm = nullptr;
  // A double-click on a label is a click and then a double-click (which has no handler),
  // not two clicks.
  windowClass.style = CS_DBLCLKS;
  for (const wchar_t* name : {kPictureClass, kLabelClass, kImageClass}) {
    windowClass.lpszClassName = name;
    enroll(windowClass);
  }
}

void Win32Ui::CreateMainWindow() {
  const FormLayout& form = form_;
  constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT frame{0, 0, dpi_.PixelsX(form.clientWidth), dpi_.PixelsY(form.clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred on the screen.
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

  ControlState& state = State(Control::Form);
  state.caption = form.caption;
  state.foreColor = form.foreColor;
  state.visible = false;
  main_ = CreateWindowExW(0, kMainWindowClass, ToWide(form.caption).c_str(), style, x, y, width,
                          height, nullptr, nullptr, instance_, this);
  if (!main_) throw SystemError(GetLastError(), failure::kCannotCreateWindow, u"");
  state.window = main_;
}

Win32Ui::ControlState& Win32Ui::PrepareState(const ControlLayout& layout) {
  ControlState& state = State(layout.id);
  state.layout = &layout;
  state.left = static_cast<float>(layout.box.left);
  state.top = static_cast<float>(layout.box.top);
  state.width = static_cast<float>(layout.box.width);
  state.height = static_cast<float>(layout.box.height);
  state.caption = layout.caption;
  state.foreColor = layout.foreColor;
  state.visible = layout.visible;
  if (layout.font.face.empty() || layout.font == form_.font) {  // one font object for both
    state.font = defaultFont_.Get();
  } else {
    ownFonts_.push_back(MakeFont(layout.font));
    state.font = ownFonts_.back().Get();
  }
  return state;
}

void Win32Ui::CreateControl(const ControlLayout& layout) {
  ControlState& state = PrepareState(layout);
  const wchar_t* windowClass = nullptr;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (layout.visible ? WS_VISIBLE : 0);
  DWORD exStyle = layout.border == Border::Sunken ? WS_EX_CLIENTEDGE : 0;
  if (layout.border == Border::FlatSingle) style |= WS_BORDER;
  switch (layout.kind) {
    case ControlKind::TransferControl:
      return;  // not drawn
    case ControlKind::Button:
      windowClass = L"BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::PictureBox:
      windowClass = kPictureClass;
      style |= WS_CLIPCHILDREN;
      exStyle |= WS_EX_CONTROLPARENT;
      break;
    case ControlKind::Label:
      windowClass = kLabelClass;
      if (IsLink(layout.id)) style |= WS_TABSTOP;  // after the start button, as it lies below
      if (layout.autoSize) FitToText(state);
      break;
    case ControlKind::Image: {
      windowClass = kImageClass;
      BITMAP picture{};
      GetObjectW(image_.Get(), sizeof picture, &picture);
      // Natural size: one screen pixel per picture pixel.
      state.width = dpi_.TwipsX(picture.bmWidth);
      state.height = dpi_.TwipsY(picture.bmHeight);
      break;
    }
  }
  const RECT place = state.placed = PixelRect(state);
  state.window = CreateWindowExW(
      exStyle, windowClass, ToWide(state.caption).c_str(), style, place.left, place.top,
      place.right - place.left, place.bottom - place.top, State(layout.container).window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(layout.id))),
      instance_, this);
  if (!state.window) {
    const DWORD error = GetLastError();
    throw SystemError(error, failure::kCannotCreateControl, FromWide(windowClass));
  }
  SendMessageW(state.window, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
}

bool Win32Ui::IsDrawnOnContainer(const ControlState& state) const {
  return state.layout &&
         (state.layout->kind == ControlKind::Label || state.layout->kind == ControlKind::Image);
}

RECT Win32Ui::PixelRect(const ControlState& state) const {
  const int left = dpi_.PixelsX(state.left);
  const int top = dpi_.PixelsY(state.top);
  return RECT{left, top, left + std::max(0, dpi_.PixelsX(state.width)),
              top + std::max(0, dpi_.PixelsY(state.height))};
}

void Win32Ui::FitToText(ControlState& state) {
  if (state.caption.empty()) {
    state.width = static_cast<float>(state.layout->box.width);
    state.height = static_cast<float>(state.layout->box.height);
    return;
  }
  ScreenDc screen;
  Selection font(screen.Get(), state.font);
  SIZE extent{};
  TEXTMETRICW metrics{};
  GetTextExtentPoint32W(screen.Get(), ToWide(state.caption).c_str(),
                        static_cast<int>(state.caption.size()), &extent);
  GetTextMetricsW(screen.Get(), &metrics);
  state.width = dpi_.TwipsX(extent.cx);
  state.height = dpi_.TwipsY(metrics.tmHeight);
}

}  // namespace vexa
