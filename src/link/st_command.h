// The pass-through to the panel's secondary ST controller: one ST command carried by the
// starter, which waits up to `wait` seconds for the ST's answer and returns it
// (Starter::StCommand).
#pragma once

#include <cstdint>
#include <string>

#include "link/frame.h"

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

}  // namespace korvex::link
