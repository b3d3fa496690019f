#include "win/status_panel_window.h"

#include <algorithm>

#include "view/layout.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexStatusPanel";
// PatBlt's raster operation "pattern AND destination": the shading darkens what is below.
constexpr DWORD kPatternAndDestination = 0x00A000C9;

COLORREF ToColorRef(view::Rgb colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

view::Rgb SystemColour(int index) {
  const COLORREF c = GetSysColor(index);
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
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

void FillWith(HDC dc, view::Size size, view::Rgb colour) {
  const RECT all{0, 0, size.width, size.height};
  HBRUSH brush = CreateSolidBrush(ToColorRef(colour));
  FillRect(dc, &all, brush);
  DeleteObject(brush);
}

}  // namespace

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
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, view::kInfo1Rect.width,
                            view::kInfo1Rect.height, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&StatusPanelWindow::Procedure));
}

void StatusPanelWindow::SetDpi(const Dpi& dpi) {
  ReleaseGdi();
  colours_ =
      view::StatusColours::FromSystem(SystemColour(COLOR_BTNFACE), SystemColour(COLOR_WINDOWTEXT));
  RECT client{};
  GetClientRect(window_, &client);
  size_ = {std::max<int>(1, client.right), std::max<int>(1, client.bottom)};
  view::FontSpec bold = view::kStatusPanelFont;
  bold.bold = true;
  font_ = MakeFont(view::kStatusPanelFont, dpi);
  boldFont_ = MakeFont(bold, dpi);
  HDC screen = GetDC(window_);
  surface_ = CreateCompatibleDC(screen);
  bitmap_ = CreateCompatibleBitmap(screen, size_.width, size_.height);
  ReleaseDC(window_, screen);
  oldBitmap_ = SelectObject(surface_, bitmap_);
  Render();
  InvalidateRect(window_, nullptr, FALSE);
}

void StatusPanelWindow::ShowPanel(const display::TKVStatus& panel) {
  model_ = &panel;
  Render();
  InvalidateRect(window_, nullptr, FALSE);
  // Every change shows at once, also inside operations that seldom process messages.
  UpdateWindow(window_);
}

void StatusPanelWindow::Render() {
  if (!surface_) return;
  if (!model_) {
    FillWith(surface_, size_, colours_.background);
    return;
  }
  // The font's cell is the size of a space.
  const HGDIOBJ oldFont = SelectObject(surface_, font_);
  SIZE space{};
  GetTextExtentPoint32W(surface_, L" ", 1, &space);
  const view::StatusPaintPlan plan = view::PlanStatusPanel(
      *model_, colours_, size_, {static_cast<int>(space.cx), static_cast<int>(space.cy)});
  FillWith(surface_, plan.panel, plan.background);
  DrawRuns(plan);
  DrawShading(plan);
  SelectObject(surface_, oldFont);
}

void StatusPanelWindow::DrawRuns(const view::StatusPaintPlan& plan) {
  SetBkMode(surface_, TRANSPARENT);
  for (const view::TextRun& run : plan.runs) {
    SelectObject(surface_, run.bold ? boldFont_ : font_);
    SetTextColor(surface_, ToColorRef(run.colour));
    for (std::size_t k = 0; k < run.text.size(); ++k) {
      if (run.text[k] == ' ') continue;
      // One character per cell, so a bold glyph never pushes the grid; the panel's texts are
      // Latin-1 characters, each one UTF-16 unit.
      const wchar_t ch = static_cast<wchar_t>(static_cast<unsigned char>(run.text[k]));
      const view::Rect cell = plan.CellRect(run.row, run.column + static_cast<int>(k));
      TextOutW(surface_, cell.left, cell.top, &ch, 1);
    }
  }
}

void StatusPanelWindow::DrawShading(const view::StatusPaintPlan& plan) {
  if (!plan.shading) return;
  const view::Rect& r = plan.shading->rect;
  HBRUSH pen = CreateSolidBrush(ToColorRef(plan.shading->pen));
  const HGDIOBJ oldBrush = SelectObject(surface_, pen);
  PatBlt(surface_, r.left, r.top, r.width, r.height, kPatternAndDestination);
  SelectObject(surface_, oldBrush);
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
