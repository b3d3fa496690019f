// Starter commands that open and control a conversation with the panel: connect (with the
// negotiation of a faster rate), identification, the run's link token, restart, the texts on
// the panel's keypads and the start of a starter replacement (members of Starter). None of
// them shows anything to the operator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex::link {

// Outcome of one connect attempt.
enum class ConnectResult : std::uint8_t {
  kConnected = 0,  // the starter is ready and the rate is settled
  kNoAnswer = 1,   // no usable answer (the rate was stepped when nothing came back)
  kRefused = 2,    // the starter answered but is not ready (the rate was stepped)
};

inline constexpr std::uint16_t kConnectAttempts = 2;
inline constexpr std::uint16_t kConnectBudgetMs = 700;
inline constexpr std::uint16_t kFastRateAttempts = 1;
inline constexpr std::uint16_t kFastRateBudgetMs = 1000;
inline constexpr std::uint16_t kControlAttempts = 4;  // identification, token, restart, keypad
inline constexpr std::uint16_t kControlBudgetMs = 1000;
inline constexpr std::uint16_t kStarterUpdateAttempts = 4;
inline constexpr std::uint16_t kStarterUpdateBudgetMs = 2000;
// CheckLinkToken gives up at the fourth failure of either kind.
inline constexpr int kTokenFailureLimit = 3;
// RestartPanel: connect attempts, then restart requests.
inline constexpr int kRestartConnects = 9;
inline constexpr int kRestartRequests = 3;
// Starters from this version on hold a link token.
inline constexpr std::uint8_t kFirstTokenStarter = 0x52;
// Keypad lines are padded with blanks to this width; only this many characters are sent.
inline constexpr std::size_t kKeypadWidth = 16;

}  // namespace korvex::link
