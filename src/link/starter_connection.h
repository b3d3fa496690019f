// Starter commands that open and control a conversation with the panel: connect (with the
// negotiation of a faster rate), identification, the run's link token, restart, the texts on
// the panel's keypads and the start of a starter replacement. Each fills LinkRequest, runs
// one or more exchanges and reads LinkReply; none of them shows anything to the operator.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/link.h"
#include "link/starter_state.h"

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

// Sends the connect request at the current rate. On no reply or a refusal the rate is stepped
// (9600 -> 57600 -> 115200 -> 9600) so that repeated calls search all rates. A ready starter
// reached at 9600 with FastRsEnabled is asked for a faster rate, which is then applied.
ConnectResult ConnectStarter(Link& link);

// Sends the identification request; true when the exchange succeeded. The caller reads the
// answer code and, on 0x92, the data (see StoreIdentification).
bool IdentifyPanel(Link& link);
// Copies data bytes 0..2 of the identification reply into FlashKind, PanelType and
// StarterVersion.
void StoreIdentification(const Link& link, StarterState& state);

// Stores the token t0..t3 in the panel (one exchange, reply not examined).
void SetLinkToken(Link& link, const std::array<std::uint8_t, 4>& token);
// True when the panel holds state.LinkToken; always true (nothing sent) for starters below
// 0x52. Failed exchanges and wrong answers count as one kind, a different token as the other;
// false at the fourth failure of a kind or on Stop.
bool CheckLinkToken(Link& link, const StarterState& state);

// Connects (up to 9 times, so three turns through the rates), then asks the starter to start
// the panel's program (up to 3 times, until acknowledged). True once connected, whether or
// not the restart was acknowledged; ends early on Stop.
bool RestartPanel(Link& link);

// Shows texts on the panel's keypads: both lines (title or not), only line 1, only line 2 or
// neither, each padded with blanks to 16 characters (only 16 are sent). One exchange, the
// reply is not examined.
void ShowKeypadText(Link& link, const std::string& line1, const std::string& line2, bool title);

// Asks the starter to start the starter updater; true on an acknowledged exchange.
bool RunStarterUpdate(Link& link);

}  // namespace korvex::link
