#include "win/image_button.h"

#include <optional>
#include <span>

#include "shell/wide_text.h"
#include "win/icon_file.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexImageButton";
constexpr const wchar_t* kPictureType = L"DATA";

constexpr DWORD kIconFormatVersion = 0x00030000;

void RegisterClassOnce() {
  static const ATOM atom = [] {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_HAND);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kClassName;
    return RegisterClassW(&cls);
  }();
  (void)atom;
}

}  // namespace

HICON LoadPictureResource(const std::string& name) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const std::wstring wideName = shell::WideFromUtf8(name);
  HRSRC found = FindResourceW(module, wideName.c_str(), kPictureType);
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(module, found);
  const auto* file = static_cast<const unsigned char*>(LockResource(loaded));
  if (!file) return nullptr;
  const std::span<const unsigned char> bytes(file, SizeofResource(module, found));
  const std::optional<IconImageSpan> image = FirstIconImage(bytes);
  if (!image) return nullptr;
  return CreateIconFromResourceEx(const_cast<unsigned char*>(file + image->offset),
                                  static_cast<DWORD>(image->size), TRUE, kIconFormatVersion, 0, 0,
                                  LR_DEFAULTCOLOR);
}

ImageButton::~ImageButton() {
  if (picture_) DestroyIcon(picture_);
}

void ImageButton::Create(HWND parent, int id) {
  RegisterClassOnce();
  window_ = CreateWindowExW(
      0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, kImageButtonSize, kImageButtonSize, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ImageButton::Procedure));
}

void ImageButton::KVenable(const std::string& name) {
  enabled_ = true;
  Load(name);
}

void ImageButton::KVdisable(const std::string& name) {
  enabled_ = false;
  pressed_ = false;
  if (GetCapture() == window_) ReleaseCapture();
  Load(name);
}

void ImageButton::Load(const std::string& name) {
  if (picture_) DestroyIcon(picture_);
  pictureName_ = name;
  picture_ = LoadPictureResource(name);
  InvalidateRect(window_, nullptr, TRUE);
}

void ImageButton::Paint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window_, &paint);
  RECT client{};
  GetClientRect(window_, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (picture_) {
    DrawIconEx(dc, 0, 0, picture_, client.right, client.bottom, 0, nullptr, DI_NORMAL);
  }
  EndPaint(window_, &paint);
}

LRESULT CALLBACK ImageButton::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ImageButton*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT ImageButton::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_LBUTTONDOWN:
      if (enabled_) {
        pressed_ = true;
        SetCapture(window_);
      }
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      if (GetCapture() == window_) ReleaseCapture();
      RECT client{};
      GetClientRect(window_, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && enabled_ && PtInRect(&client, at)) {
        const int id = GetDlgCtrlID(window_);
        SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window_));
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

}  // namespace korvex::win
