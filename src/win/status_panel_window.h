// Draws the status panel `Info1` (the text model display::TKVStatus) with GDI: a grid of
// character cells in "Courier New" 12 points, every cell in the colour and boldness of its
// attribute, and on the line in progress the unfinished part shaded by masking lines.
// Drawing goes to a bitmap of the control's size that WM_PAINT copies to the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "display/kv_status.h"
#include "win/dpi.h"

namespace korvex::win {

inline constexpr int kStatusPanelWidth = 790;
inline constexpr int kStatusPanelHeight = 268;

// The panel's colours, from the system's button face and window text colours.
struct PanelColours {
  COLORREF background = 0;
  COLORREF text = 0;
  COLORREF shading = 0;  // (7 x background + text) / 8 per channel
  int intensity = 0;     // of the red, green and blue attribute bits

  static PanelColours FromSystem();
  static PanelColours From(COLORREF background, COLORREF text);
  // The sum of the cell's colour bits, or the text colour without any.
  COLORREF CellColour(std::uint8_t attribute) const;
};

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
  // Takes the panel's lines and shows them at once (also inside long operations).
  void ShowPanel(const display::TKVStatus& panel);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Render();
  void DrawCells(HDC dc, SIZE cell);
  void DrawShading(HDC dc, SIZE cell, int width);
  void ReleaseGdi();

  HWND window_ = nullptr;
  HDC surface_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  SIZE size_{};
  PanelColours colours_ = PanelColours::FromSystem();

  int columns_ = display::kDefaultColumns;
  int rows_ = display::kDefaultRows;
  int currentLine_ = 0;
  std::optional<int> shadedFrom_;
  std::vector<display::TKVStatus::Line> lines_;
};

}  // namespace korvex::win
