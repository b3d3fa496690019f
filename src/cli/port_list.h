// The text of `korvex-cli ports`: the machine's ports in the port list's order with their
// descriptions, those this user may not open marked, and what to do about them.
#pragma once

#include <string>
#include <vector>

#include "link/serial_device.h"

namespace korvex::cli {

// Follows a port that this user lacks the permission to open.
inline constexpr const char* kNoPermissionMark = "[no permission]";

// One line per port ("No serial ports found." for none): the name, then its description and
// the mark, aligned in a column; after them, when a port is marked, a line with the fix.
std::vector<std::string> PortListLines(const std::vector<link::PortInfo>& ports);

}  // namespace korvex::cli
