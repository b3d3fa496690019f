#include "win/port_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "shell/wide_text.h"
#include "view/accelerator.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kListClassName = L"KorvexPortList";
constexpr int kEntryStep = view::kPortEntryHeight + 1;
// The dialog's font: 11 pixels high, as the dialog was designed with.
constexpr view::FontSpec kDialogFont{"Sans Serif", false, false, 0, 11};

constexpr int kIdFastRs = 101;
constexpr int kIdScan = 102;
constexpr int kIdList = 103;
constexpr int kIdFirstEntry = 1000;

SCROLLINFO ScrollInfo(UINT mask) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = mask;
  return info;
}

// An empty dialog template: the controls are created in pixels when the dialog starts.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words;
  auto put32 = [&words](DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
  };
  put32(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  put32(0);                                        // extended style
  words.push_back(0);                              // no controls
  for (int i = 0; i < 4; ++i) words.push_back(0);  // position and size, set later
  words.push_back(0);                              // no menu
  words.push_back(0);                              // the standard dialog class
  for (const wchar_t* c = L"Choose port"; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  words.push_back(8);  // point size of the dialog font
  for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

void RegisterListClassOnce(WNDPROC procedure) {
  static const ATOM atom = [procedure] {
    WNDCLASSW cls{};
    cls.lpfnWndProc = procedure;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kListClassName;
    return RegisterClassW(&cls);
  }();
  (void)atom;
}

HWND MakeControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                 HFONT font) {
  HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

}  // namespace

std::optional<shell::PortChoice> PortWindow::Choose(HWND owner, shell::PortDialogState& state,
                                                    const shell::PortRescan& rescan) {
  RegisterListClassOnce(&PortWindow::ListProcedure);
  state_ = &state;
  rescan_ = &rescan;
  const std::vector<WORD> layout = DialogTemplate();
  const INT_PTR result = DialogBoxIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(layout.data()), owner,
      &PortWindow::Procedure, reinterpret_cast<LPARAM>(this));
  state_ = nullptr;
  rescan_ = nullptr;
  if (font_) DeleteObject(font_);
  font_ = nullptr;
  if (result != IDOK || !state.OkEnabled()) return std::nullopt;
  return shell::PortChoice{state.entries[state.checked].name, state.fastRs};
}

INT_PTR CALLBACK PortWindow::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<PortWindow*>(lParam)->dialog_ = dialog;
  }
  auto* self = reinterpret_cast<PortWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

// The list forwards its entries' clicks to the dialog and scrolls them.
LRESULT CALLBACK PortWindow::ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = GetParent(list);
  auto* self = reinterpret_cast<PortWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self && message == WM_COMMAND) {
    return SendMessageW(dialog, WM_COMMAND, wParam, lParam);
  }
  if (self && message == WM_VSCROLL) {
    SCROLLINFO info = ScrollInfo(SIF_ALL);
    GetScrollInfo(list, SB_VERT, &info);
    int position = info.nPos;
    switch (LOWORD(wParam)) {
      case SB_LINEUP:
        position -= self->dpi_.Px(kEntryStep);
        break;
      case SB_LINEDOWN:
        position += self->dpi_.Px(kEntryStep);
        break;
      case SB_PAGEUP:
        position -= static_cast<int>(info.nPage);
        break;
      case SB_PAGEDOWN:
        position += static_cast<int>(info.nPage);
        break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
      default:
        break;
    }
    self->ScrollList(position);
    return 0;
  }
  if (self && message == WM_MOUSEWHEEL) {
    const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
    self->ScrollList(self->scrollTop_ - notches * self->dpi_.Px(kEntryStep));
    return 0;
  }
  return DefWindowProcW(list, message, wParam, lParam);
}

INT_PTR PortWindow::Handle(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CreateControls();
      Rebuild();
      // The focus is placed by Rebuild.
      return FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK) {
        if (state_ && state_->OkEnabled()) EndDialog(dialog_, IDOK);
      } else if (id == IDCANCEL) {
        EndDialog(dialog_, IDCANCEL);
      } else if (id == kIdFastRs) {
        if (state_) state_->fastRs = IsDlgButtonChecked(dialog_, kIdFastRs) == BST_CHECKED;
      } else if (id == kIdScan) {
        Scan();
      } else if (id >= kIdFirstEntry && HIWORD(wParam) == BN_CLICKED) {
        EntryClicked(static_cast<std::size_t>(id - kIdFirstEntry));
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void PortWindow::CreateControls() {
  dpi_ = Dpi::Of(dialog_);
  font_ = MakeFont(kDialogFont, dpi_);

  list_ = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_CLIENTEDGE, kListClassName, L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 0, 0, dialog_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdList)),
                          GetModuleHandleW(nullptr), nullptr);
  fastRs_ = MakeControl(dialog_, L"BUTTON", shell::WideFromUtf8(shell::kFastRsCaption),
                        BS_AUTOCHECKBOX | WS_TABSTOP, kIdFastRs, font_);
  ok_ = MakeControl(dialog_, L"BUTTON", shell::WideFromUtf8(shell::kPortOkCaption),
                    BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, font_);
  cancel_ = MakeControl(dialog_, L"BUTTON", shell::WideFromUtf8(shell::kPortCancelCaption),
                        BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, font_);
  scan_ = MakeControl(dialog_, L"BUTTON", shell::WideFromUtf8(shell::kPortScanCaption),
                      BS_PUSHBUTTON | WS_TABSTOP, kIdScan, font_);
  // Tab order: the list, Fast RS, OK, Cancel, Scan.
  SetWindowPos(fastRs_, list_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(ok_, fastRs_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(cancel_, ok_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(scan_, cancel_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// The width the widest entry needs, in logical pixels: the buttons say how wide they want to
// be (mark, gap and text as this system draws them). Where a button cannot say, its text is
// measured and the mark's width and a gap are added.
int PortWindow::WidestEntry() const {
  constexpr int kMarkGap = 6;
  HDC dc = GetDC(dialog_);
  const HGDIOBJ oldFont = SelectObject(dc, font_);
  int widest = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    SIZE ideal{};
    if (!SendMessageW(entries_[i], BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) ||
        ideal.cx <= 0) {
      const std::wstring shown =
          shell::WideFromUtf8(view::WithoutAccelerator(view::PortEntryLabel(state_->entries[i])));
      GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &ideal);
      ideal.cx += GetSystemMetricsForDpi(SM_CXMENUCHECK, static_cast<UINT>(dpi_.Value())) +
                  dpi_.Px(kMarkGap);
    }
    widest = std::max(widest, static_cast<int>(std::ceil(ideal.cx / dpi_.Scale())));
  }
  SelectObject(dc, oldFont);
  ReleaseDC(dialog_, dc);
  return widest;
}

void PortWindow::PlaceControls(const view::PortDialogLayout& layout) {
  SetClientSize(dialog_, layout.client, false, dpi_);
  CentreWindow(dialog_, GetWindow(dialog_, GW_OWNER));
  Place(list_, dpi_, layout.list);
  Place(fastRs_, dpi_, layout.fastRs);
  Place(ok_, dpi_, layout.ok);
  Place(cancel_, dpi_, layout.cancel);
  Place(scan_, dpi_, layout.scan);
}

void PortWindow::Rebuild() {
  for (HWND entry : entries_) DestroyWindow(entry);
  entries_.clear();
  entryRects_.clear();
  if (!state_) return;
  for (std::size_t i = 0; i < state_->entries.size(); ++i) {
    // The first entry starts the group that arrow keys move through.
    const DWORD style = BS_RADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
    entries_.push_back(MakeControl(list_, L"BUTTON",
                                   shell::WideFromUtf8(view::PortEntryLabel(state_->entries[i])),
                                   style, kIdFirstEntry + static_cast<int>(i), font_));
  }
  const view::PortDialogLayout layout = view::LayOutPortDialog(*state_, WidestEntry());
  PlaceControls(layout);
  ShowWindow(scan_, state_->scanVisible ? SW_SHOW : SW_HIDE);
  CheckDlgButton(dialog_, kIdFastRs, state_->fastRs ? BST_CHECKED : BST_UNCHECKED);
  for (std::size_t i = 0; i < layout.entries.size(); ++i) {
    const view::PortDialogEntry& entry = layout.entries[i];
    EnableWindow(entries_[i], entry.enabled ? TRUE : FALSE);
    SendMessageW(entries_[i], BM_SETCHECK, entry.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    entryRects_.push_back(entry.rect);
  }
  const int total = dpi_.Px(layout.listContent.height);
  RECT client{};
  GetClientRect(list_, &client);
  SCROLLINFO info = ScrollInfo(SIF_RANGE | SIF_PAGE);
  info.nMin = 0;
  info.nMax = total;
  info.nPage = static_cast<UINT>(client.bottom);
  SetScrollInfo(list_, SB_VERT, &info, TRUE);
  scrollTop_ = 0;

  // The checked entry is scrolled into view and takes the focus when it can be chosen.
  if (state_->checked < entries_.size()) {
    const view::Rect checked = dpi_.Device(entryRects_[state_->checked]);
    ScrollList(checked.Bottom() > client.bottom ? checked.top : 0);
    if (state_->entries[state_->checked].enabled) {
      SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(entries_[state_->checked]),
                   TRUE);
    }
  } else {
    ScrollList(0);
  }
  UpdateOk();
}

void PortWindow::ScrollList(int position) {
  SCROLLINFO info = ScrollInfo(SIF_ALL);
  GetScrollInfo(list_, SB_VERT, &info);
  const int last = std::max(0, info.nMax - static_cast<int>(info.nPage) + 1);
  scrollTop_ = std::clamp(position, 0, last);
  info.fMask = SIF_POS;
  info.nPos = scrollTop_;
  SetScrollInfo(list_, SB_VERT, &info, TRUE);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const view::Rect rect = dpi_.Device(entryRects_[i]);
    MoveWindow(entries_[i], rect.left, rect.top - scrollTop_, rect.width, rect.height, TRUE);
  }
}

void PortWindow::EntryClicked(std::size_t index) {
  if (!state_ || index >= state_->entries.size()) return;
  state_->checked = index;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    SendMessageW(entries_[i], BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  UpdateOk();
}

void PortWindow::UpdateOk() {
  EnableWindow(ok_, state_ && state_->OkEnabled() ? TRUE : FALSE);
}

void PortWindow::SetControlsEnabled(bool enabled) {
  for (HWND control : {list_, fastRs_, ok_, cancel_, scan_}) {
    EnableWindow(control, enabled ? TRUE : FALSE);
  }
}

void PortWindow::Scan() {
  if (!state_ || !rescan_ || !*rescan_) return;
  // Probing takes a moment per port; the controls stay locked meanwhile.
  SetControlsEnabled(false);
  state_->fastRs = IsDlgButtonChecked(dialog_, kIdFastRs) == BST_CHECKED;
  (*rescan_)(*state_);
  SetControlsEnabled(true);
  Rebuild();
}

}  // namespace korvex::win
