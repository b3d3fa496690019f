// The program's about text, shown by the About menu item and at a start without a file.
// The application title is in session.h.
#pragma once

#include "korvex/version.h"

// "1.24 2025-03-12 SK": the version, its date and the maker's mark.
#define KORVEX_VERSION_AND_DATE KORVEX_VERSION_TEXT " " KORVEX_RELEASE_DATE_TEXT " SK"
#define KORVEX_ABOUT_PRODUCT_LINE "Firmware updating software for SOLANTA"

namespace korvex::shell {

inline constexpr const char* kAboutVersionLine = "KORVEX " KORVEX_VERSION_AND_DATE;
inline constexpr const char* kAboutProductLine = KORVEX_ABOUT_PRODUCT_LINE;
// Both lines in one message box text, separated by a carriage return.
inline constexpr const char* kAboutText =
    "KORVEX " KORVEX_VERSION_AND_DATE "\r" KORVEX_ABOUT_PRODUCT_LINE;
// The main window's caption.
inline constexpr const char* kWindowCaption = "KORVEX  (" KORVEX_VERSION_AND_DATE ")";
// The title line on the panel's keypads during a run.
inline constexpr const char* kKeypadTitle = "KORVEX v" KORVEX_VERSION_TEXT;

}  // namespace korvex::shell
