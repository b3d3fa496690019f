#include "win/status_panel_window.h"

#include <algorithm>

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexStatusPanel";
constexpr const wchar_t* kPanelFace = L"Courier New";
constexpr int kPanelPoints = 12;

// Full intensity on a dark face; a softer one on a light face, where pure colours glare.
constexpr int kBrightIntensity = 0xFF;
constexpr int kSoftIntensity = 0xD0;
constexpr int kDarkFaceLimit = 672;  // R + G + B of the face at most this: bright

int Mix(int background, int text) {
  return (7 * background + text) / 8;
}

void RegisterClassOnce() {
  static const ATOM atom = [] {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.lpszClassName = kClassName;
    return RegisterClassW(&cls);
  }();
  (void)atom;
}

}  // namespace

PanelColours PanelColours::FromSystem() {
  return From(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOWTEXT));
}

PanelColours PanelColours::From(COLORREF background, COLORREF text) {
  PanelColours c;
  c.background = background;
  c.text = text;
  c.shading =
      RGB(Mix(GetRValue(background), GetRValue(text)), Mix(GetGValue(background), GetGValue(text)),
          Mix(GetBValue(background), GetBValue(text)));
  const int face = GetRValue(background) + GetGValue(background) + GetBValue(background);
  c.intensity = face <= kDarkFaceLimit ? kBrightIntensity : kSoftIntensity;
  return c;
}

COLORREF PanelColours::CellColour(std::uint8_t attribute) const {
  if ((attribute & 0x07) == 0) return text;
  return RGB((attribute & 0x01) ? intensity : 0, (attribute & 0x02) ? intensity : 0,
             (attribute & 0x04) ? intensity : 0);
}

StatusPanelWindow::~StatusPanelWindow() {
  ReleaseGdi();
}

void StatusPanelWindow::ReleaseGdi() {
  if (surface_) {
    SelectObject(surface_, oldBitmap_);
    DeleteDC(surface_);
    surface_ = nullptr;
  }
  if (bitmap_) DeleteObject(bitmap_);
  if (font_) DeleteObject(font_);
  if (boldFont_) DeleteObject(boldFont_);
  bitmap_ = nullptr;
  font_ = nullptr;
  boldFont_ = nullptr;
}

void StatusPanelWindow::Create(HWND parent, int id) {
  RegisterClassOnce();
  window_ =
      CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, kStatusPanelWidth,
                      kStatusPanelHeight, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&StatusPanelWindow::Procedure));
}

void StatusPanelWindow::SetDpi(const Dpi& dpi) {
  ReleaseGdi();
  RECT client{};
  GetClientRect(window_, &client);
  size_ = SIZE{std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom)};
  // Points to pixels at this DPI, as the font height of a 12-point character.
  const int pixels = MulDiv(kPanelPoints, kDesignDpi, 72);
  font_ = MakeFont(kPanelFace, pixels, false, dpi, true);
  boldFont_ = MakeFont(kPanelFace, pixels, true, dpi, true);
  HDC screen = GetDC(window_);
  surface_ = CreateCompatibleDC(screen);
  bitmap_ = CreateCompatibleBitmap(screen, size_.cx, size_.cy);
  ReleaseDC(window_, screen);
  oldBitmap_ = SelectObject(surface_, bitmap_);
  Render();
}

void StatusPanelWindow::ShowPanel(const display::TKVStatus& panel) {
  columns_ = panel.Columns();
  rows_ = panel.Rows();
  currentLine_ = panel.CurrentLine();
  shadedFrom_ = panel.ShadedFromPercent();
  lines_.clear();
  for (int row = 1; row <= rows_; ++row) lines_.push_back(panel.LineAt(row));
  Render();
  InvalidateRect(window_, nullptr, FALSE);
  // Every change shows at once, also inside operations that seldom process messages.
  UpdateWindow(window_);
}

void StatusPanelWindow::Render() {
  if (!surface_) return;
  const RECT all{0, 0, size_.cx, size_.cy};
  HBRUSH background = CreateSolidBrush(colours_.background);
  FillRect(surface_, &all, background);
  DeleteObject(background);

  // One cell: the size of a space in the panel's font, smaller only when the model's grid
  // would not fit the control.
  const HGDIOBJ oldFont = SelectObject(surface_, font_);
  SIZE space{};
  GetTextExtentPoint32W(surface_, L" ", 1, &space);
  const SIZE cell{std::max<LONG>(1, std::min<LONG>(space.cx, size_.cx / std::max(1, columns_))),
                  std::max<LONG>(1, std::min<LONG>(space.cy, size_.cy / std::max(1, rows_)))};
  DrawCells(surface_, cell);
  DrawShading(surface_, cell, size_.cx);
  SelectObject(surface_, oldFont);
}

void StatusPanelWindow::DrawCells(HDC dc, SIZE cell) {
  SetBkMode(dc, TRANSPARENT);
  for (std::size_t row = 0; row < lines_.size(); ++row) {
    const display::TKVStatus::Line& line = lines_[row];
    const int y = static_cast<int>(row) * cell.cy;
    for (std::size_t j = 0; j < line.text.size() && j < line.attributes.size(); ++j) {
      const char ch = line.text[j];
      if (ch == ' ') continue;  // the background is already there
      const std::uint8_t attribute = line.attributes[j];
      SelectObject(dc, (attribute & display::kAttrBold) ? boldFont_ : font_);
      SetTextColor(dc, colours_.CellColour(attribute));
      // The panel's texts are Latin-1 characters; each is one UTF-16 unit.
      const wchar_t wide = static_cast<wchar_t>(static_cast<unsigned char>(ch));
      TextOutW(dc, static_cast<int>(j) * cell.cx, y, &wide, 1);
    }
  }
}

// The unfinished part of the line in progress: lines in the shading colour combined with the
// pixels below by AND, so text stays legible and the background turns darker, leaving the
// top and bottom pixel rows of the line free.
void StatusPanelWindow::DrawShading(HDC dc, SIZE cell, int width) {
  if (!shadedFrom_ || currentLine_ < 1) return;
  const int from = width * std::clamp(*shadedFrom_, 0, 100) / 100;
  if (from >= width) return;
  HPEN pen = CreatePen(PS_SOLID, 1, colours_.shading);
  const HGDIOBJ oldPen = SelectObject(dc, pen);
  const int oldMode = SetROP2(dc, R2_MASKPEN);
  const int top = (currentLine_ - 1) * cell.cy;
  for (int k = 2; k <= cell.cy - 1; ++k) {
    const int y = top + k - 1;
    MoveToEx(dc, from, y, nullptr);
    LineTo(dc, width, y);
  }
  SetROP2(dc, oldMode);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
}

LRESULT CALLBACK StatusPanelWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* self = reinterpret_cast<StatusPanelWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == WM_ERASEBKGND) return 1;
  if (self && message == WM_PAINT) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (self->surface_) {
      const RECT& r = paint.rcPaint;
      BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, self->surface_, r.left, r.top,
             SRCCOPY);
    }
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace korvex::win
