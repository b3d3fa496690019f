#include "win/message_text.h"

#include "shell/wide_text.h"

namespace korvex::win {

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
  return shell::WideFromUtf8(text);
}

}  // namespace korvex::win
