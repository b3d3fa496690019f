// UTF-8 inside the program, UTF-16 at the Win32 API: the conversions at that edge.
#pragma once

#include <string>
#include <string_view>

namespace korvex::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A message text for the system: the program separates lines with a lone carriage return,
// the system's controls want CR LF.
std::wstring WidenLines(std::string_view utf8);

}  // namespace korvex::win
