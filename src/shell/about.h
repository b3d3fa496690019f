// The program's about text, shown by the About menu item and at a start without a file.
// The application title and the window caption are in session.h.
#pragma once

namespace korvex::shell {

inline constexpr const char* kAboutVersionLine = "KORVEX 1.24 2025-03-12 SK";
inline constexpr const char* kAboutProductLine = "Firmware updating software for SOLANTA";
// Both lines in one message box text, separated by a carriage return.
inline constexpr const char* kAboutText =
    "KORVEX 1.24 2025-03-12 SK\rFirmware updating software for SOLANTA";

}  // namespace korvex::shell
