// Paints the status panel `Info1` with GDI: it asks the shared view layer for the paint plan
// of the text model (cells, text runs in their colours and boldness, the progress shading)
// and carries it out into a bitmap of the control's size that WM_PAINT copies to the screen.
#pragma once

#include <windows.h>

#include "display/kv_status.h"
#include "view/status_panel_plan.h"
#include "win/dpi.h"

namespace korvex::win {

class StatusPanelWindow {
 public:
  StatusPanelWindow() = default;
  StatusPanelWindow(const StatusPanelWindow&) = delete;
  StatusPanelWindow& operator=(const StatusPanelWindow&) = delete;
  ~StatusPanelWindow();

  void Create(HWND parent, int id);
  HWND Handle() const { return window_; }

  // Fonts and surface for the window's DPI; call after every placement.
  void SetDpi(const Dpi& dpi);
  // Shows the model now (also inside long operations) and keeps it for later repaints.
  void ShowPanel(const display::TKVStatus& panel);
  // The model is going away: the panel keeps its last picture.
  void ForgetModel() { model_ = nullptr; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Render();
  void DrawRuns(const view::StatusPaintPlan& plan);
  void DrawShading(const view::StatusPaintPlan& plan);
  void ReleaseGdi();

  HWND window_ = nullptr;
  HDC surface_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  view::Size size_;
  view::StatusColours colours_;
  const display::TKVStatus* model_ = nullptr;
};

}  // namespace korvex::win
