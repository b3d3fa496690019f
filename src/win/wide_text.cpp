#include "win/wide_text.h"

#include <windows.h>

namespace korvex::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

std::wstring WidenLines(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size() + 8);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char ch = utf8[i];
    if (ch == '\r') {
      text += "\r\n";
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else if (ch == '\n') {
      text += "\r\n";
    } else {
      text += ch;
    }
  }
  return Widen(text);
}

}  // namespace korvex::win
