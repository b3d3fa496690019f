// The verdicts at the right end of a status line: a step that went well and one that failed.
#pragma once

namespace korvex::display {

inline constexpr const char* kVerdictOk = "   ok";
inline constexpr const char* kVerdictError = "ERROR";

}  // namespace korvex::display
