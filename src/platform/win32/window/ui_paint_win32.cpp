// Painting of the update window: containers, labels and the image.

#include "platform/win32/code_page_win32.h"
#include "platform/win32/win_error.h"
#include "platform/win32/window/ui_win32.h"

namespace vexa {

namespace {

constexpr OleColor kColorHighlight = 0x8000000D;  // COLOR_HIGHLIGHT

// 0x800000nn is the system colour nn; anything else is 0x00BBGGRR, which is a COLORREF.
COLORREF ColorOf(OleColor color) {
  if (color & 0x80000000u) return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

// An off-screen copy of a window's client area, copied to the screen in one go so that a
// label redrawn many times a second does not flicker.
class BufferedPaint {
 public:
  BufferedPaint(HDC target, int width, int height)
      : target_(target),
        width_(width),
        height_(height),
        dc_(target),
        bitmap_(CreateCompatibleBitmap(target, width, height)),
        selection_(dc_.Get(), bitmap_.Get()) {}

  bool ok() const { return dc_.Get() && bitmap_; }
  HDC dc() const { return dc_.Get(); }
  void CopyToTarget() {
    SetViewportOrgEx(dc_.Get(), 0, 0, nullptr);
    BitBlt(target_, 0, 0, width_, height_, dc_.Get(), 0, 0, SRCCOPY);
  }

 private:
  HDC target_;
  int width_, height_;
  MemoryDc dc_;
  GdiBitmap bitmap_;
  Selection selection_;
};

}  // namespace

OleColor Win32Ui::BackColorOf(Control container) const {
  // In high contrast every surface is the system's window colour and the bar its highlight.
  if (highContrast_) return container == Control::Picture1 ? kColorHighlight : kColorWindow;
  if (container == Control::Form) return form_.backColor;
  return State(container).layout->backColor;
}

void Win32Ui::FollowSystemColors() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  // Wine 8 always answers "off" here, whatever the prefix holds.
  highContrast_ = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                  (contrast.dwFlags & HCF_HIGHCONTRASTON);
  if (main_) {
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
}

RECT Win32Ui::FocusRect(const ControlState& link) const {
  // Round the lines the link area lies over as well, not through their text; each window the
  // rectangle crosses draws its own part.
  RECT around = PixelRect(link);
  for (const ControlLayout& entry : form_.controls) {
    const ControlState& line = State(entry.id);
    RECT place = PixelRect(line), overlap;
    if (entry.kind == ControlKind::Label && entry.container == link.layout->container &&
        line.visible && !line.caption.empty() && IntersectRect(&overlap, &place, &around)) {
      UnionRect(&around, &around, &place);
    }
  }
  return around;
}

bool Win32Ui::ShowsFocus(const ControlState& state) const {
  // As the buttons do: where the system hides focus rectangles until the keyboard is used,
  // they show from the first Tab on.
  return state.window && GetFocus() == state.window &&
         !(SendMessageW(state.window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

void Win32Ui::OnEraseBackground(Control control, HDC dc) {
  // Labels and the image paint all of themselves in WM_PAINT, without flicker; a container
  // also fills its background here, for themed buttons that ask for it.
  if (!IsDrawnOnContainer(State(control))) {
    RECT area{};
    GetClipBox(dc, &area);
    PaintSurface(control, dc, area, false);  // WM_PAINT draws the focus over it
  }
}

std::optional<LRESULT> Win32Ui::OnFramePaint(Control control) {
  // Labels and the image have no frame; the others draw theirs as the system does.
  if (IsDrawnOnContainer(State(control))) return 0;
  return std::nullopt;
}

std::optional<LRESULT> Win32Ui::OnPrintClient(HWND window, Control control, HDC dc) {
  if (IsDrawnOnContainer(State(control))) return std::nullopt;
  RECT client{};
  GetClientRect(window, &client);
  PaintSurface(control, dc, client, false);
  return 0;
}

LRESULT Win32Ui::OnButtonColor(Control container, HDC dc) {
  // Whatever a button leaves unpainted shows its container's background.
  SetDCBrushColor(dc, ColorOf(BackColorOf(container)));
  return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

void Win32Ui::OnPaint(HWND window, Control control) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const ControlState& state = State(control);
  if (IsDrawnOnContainer(state)) {
    // Show the container's surface under the label or image, in container coordinates.
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    MapWindowPoints(window, GetParent(window), &origin, 1);
    BufferedPaint buffer(dc, client.right, client.bottom);
    if (buffer.ok()) {
      SetViewportOrgEx(buffer.dc(), -origin.x, -origin.y, nullptr);
      OffsetRect(&client, origin.x, origin.y);
      PaintSurface(state.layout->container, buffer.dc(), client);
      buffer.CopyToTarget();
    }
  } else {
    // A container: its child windows (labels included) cover everything but the background.
    PaintSurface(control, dc, paint.rcPaint);
  }
  EndPaint(window, &paint);
}

void Win32Ui::PaintSurface(Control container, HDC dc, const RECT& area, bool focus) const {
  SetDCBrushColor(dc, ColorOf(BackColorOf(container)));
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const std::vector<ControlLayout>& layout = form_.controls;
  for (auto entry = layout.rbegin(); entry != layout.rend(); ++entry) {  // bottom first
    const ControlState& state = State(entry->id);
    if (entry->container != container || !state.visible || !IsDrawnOnContainer(state)) continue;
    const RECT place = PixelRect(state);
    const bool focused = focus && ShowsFocus(state);
    const RECT reach = focused ? FocusRect(state) : place;
    RECT overlap;
    if (!IntersectRect(&overlap, &reach, &area)) continue;
    if (entry->kind == ControlKind::Image) {
      MemoryDc pictureDc(dc);
      Selection picture(pictureDc.Get(), image_.Get());
      BitBlt(dc, place.left, place.top, place.right - place.left, place.bottom - place.top,
             pictureDc.Get(), 0, 0, SRCCOPY);
    } else {
      PaintLabel(state, dc);
      if (focused) DrawFocusRect(dc, &reach);
    }
  }
}

void Win32Ui::PaintLabel(const ControlState& label, HDC dc) const {
  if (label.caption.empty()) return;
  RECT place = PixelRect(label);
  Selection font(dc, label.font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ColorOf(highContrast_ ? kColorWindowText : label.foreColor));
  UINT format = DT_NOPREFIX | (label.layout->align == Align::Right ? DT_RIGHT : DT_LEFT);
  format |= label.layout->autoSize ? DT_SINGLELINE : DT_WORDBREAK;
  DrawTextW(dc, ToWide(label.caption).c_str(), static_cast<int>(label.caption.size()), &place,
            format);
}

}  // namespace vexa
