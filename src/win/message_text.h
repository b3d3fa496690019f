// Texts for the system's message boxes and controls.
#pragma once

#include <string>
#include <string_view>

namespace korvex::win {

// A message text for the system: the program separates lines with a lone carriage return,
// the system's controls want CR LF. UTF-8 in, UTF-16 out.
std::wstring WidenLines(std::string_view utf8);

}  // namespace korvex::win
