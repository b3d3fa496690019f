// The pass-through to the panel's secondary ST controller: one ST command carried by the
// starter, which waits up to `wait` seconds for the ST's answer and returns it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/link.h"

namespace korvex::link {

inline constexpr std::uint8_t kStCommandCode = 0x90;
inline constexpr std::uint16_t kStAttempts = 4;
// The budget of each exchange is wait × 1000 + 500 ms (a wait of at most 65 s fits).
inline constexpr std::uint32_t kStWaitUnitMs = 1000;
inline constexpr std::uint32_t kStExtraMs = 500;
inline constexpr std::uint8_t kStMaxWaitSeconds = 65;
inline constexpr std::uint16_t kStRetryPauseMs = 500;
inline constexpr int kStFailureLimit = 3;  // give up at the fourth failure of a kind
inline constexpr std::size_t kStMaxCommandLength = 255;

// The budget of one exchange for `wait` seconds (never above 65535 ms).
std::uint16_t StBudgetMs(std::uint8_t wait);

// The question shown when the ST answered something unexpected: the command byte, the
// expected answer and count, the first received bytes, and "Cancel operation ?".
std::string StWrongAnswerText(std::uint8_t commandByte, std::uint8_t expectedAnswer,
                              std::uint8_t expectedCount, const ReplyReceiver::Buffer& reply);

// Passes `command` (1..255 bytes) to the ST. Accepted: a reply of `expectedCount` data bytes
// (0 meaning 256), answer 0x92, data byte 0 equal to `expectedAnswer`; then `reply` holds the
// data bytes and the result is true. A wrong reply asks the operator whether to cancel (Yes
// sets StopRequested); every failure is followed by a 500 ms pause. Gives up (reply empty,
// false) at the fourth failure of a kind or on Stop.
bool StCommand(Link& link, std::span<const std::uint8_t> command, std::uint8_t wait,
               std::uint8_t expectedAnswer, std::vector<std::uint8_t>& reply, bool showProgress,
               std::uint8_t expectedCount);

}  // namespace korvex::link
