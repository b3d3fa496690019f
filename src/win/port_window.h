// The port dialog "Choose port" as a native modal dialog: one radio button per serial port
// plus the no-port entry in a scrolling list, the "&Fast RS" box, OK (only while a port that
// can be opened is checked), Cancel, and "Sc&an" to probe the ports again. It draws a
// shell::PortDialogState that the link layer builds and hands back the operator's choice;
// it decides nothing about ports itself. The dialog manager gives it the keys of a dialog:
// Tab, the "&" accelerators, Enter for OK and Escape for Cancel.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "shell/port_choice.h"
#include "view/port_dialog_layout.h"
#include "win/dpi.h"

namespace korvex::win {

class PortWindow {
 public:
  PortWindow() = default;
  PortWindow(const PortWindow&) = delete;
  PortWindow& operator=(const PortWindow&) = delete;

  // Shows the dialog modally over `owner`. The choice on OK; nullopt on Cancel, Escape or the
  // close box. `state` follows the operator's clicks (checked entry, Fast RS).
  std::optional<shell::PortChoice> Choose(HWND owner, shell::PortDialogState& state,
                                          const shell::PortRescan& rescan);

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  // Lays the dialog out for the state (the list grows to its widest entry) and rebuilds the
  // entries.
  void Rebuild();
  void PlaceControls(const view::PortDialogLayout& layout);
  int WidestEntry() const;
  void ScrollList(int position);
  void EntryClicked(std::size_t index);
  void UpdateOk();
  void Scan();
  void SetControlsEnabled(bool enabled);

  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  HWND fastRs_ = nullptr;
  HWND ok_ = nullptr;
  HWND cancel_ = nullptr;
  HWND scan_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<HWND> entries_;
  std::vector<view::Rect> entryRects_;  // logical, in the list's scrolled area
  int scrollTop_ = 0;
  Dpi dpi_;
  shell::PortDialogState* state_ = nullptr;
  const shell::PortRescan* rescan_ = nullptr;
};

}  // namespace korvex::win
