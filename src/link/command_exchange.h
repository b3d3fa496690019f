// How a starter command exchanges its request: the one retry rule every command follows,
// and the address bytes they share. A command states its deliberate differences (attempts
// and budget per exchange, the failure limit, whether Stop ends it, whether failed
// exchanges and wrong answers are counted apart, a pause after each failure) as named
// fields of a RetryRule, and judges each reply with its own check.
#pragma once

#include <cstdint>
#include <functional>

#include "link/link.h"
#include "link/request_writer.h"

namespace korvex::link {

inline std::uint8_t Low(std::uint32_t v) {
  return static_cast<std::uint8_t>(v);
}
inline std::uint8_t Mid(std::uint32_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}
inline std::uint8_t High(std::uint32_t v) {
  return static_cast<std::uint8_t>(v >> 16);
}

// Whether a command gives up when Stop is set. Commands that run on rely on every later
// exchange ending after one receive turn once Stop is set.
enum class OnStop : std::uint8_t { kGiveUp, kRunOn };
// Failed exchanges and wrong answers are counted apart (the limit applies to each), or
// together in one count.
enum class FailureCounting : std::uint8_t { kApart, kTogether };

struct RetryRule {
  std::uint16_t attempts = 0;  // frame attempts of one exchange (Transact)
  std::uint16_t budgetMs = 0;  // receive budget of each attempt
  int failureLimit = 0;        // give up once a count passes this
  OnStop onStop = OnStop::kGiveUp;
  FailureCounting counting = FailureCounting::kApart;
  std::uint16_t pauseAfterFailureMs = 0;  // PumpWait after every failure
  bool showProgress = false;
};

// What a command makes of one reply.
enum class ReplyVerdict : std::uint8_t {
  kAccepted,
  kWrong,   // counts as a wrong answer
  kFailed,  // counts as a failed exchange
};
using ReplyCheck = std::function<ReplyVerdict(const ReplyView&)>;

enum class RetryResult : std::uint8_t {
  kAccepted,  // the reply is in Link::LastReply()
  kNoReply,   // failed exchanges passed the limit
  kRefused,   // wrong answers passed the limit, or Stop
};

// Sends `request` until `check` accepts a reply or the rule gives up.
[[nodiscard]] RetryResult ExchangeWithRetries(Link& link, const RequestWriter& request,
                                              const RetryRule& rule, const ReplyCheck& check);

// A check that accepts a reply with this answer code (and, when given, this data count).
ReplyCheck AnswerIs(std::uint8_t answer);
ReplyCheck AnswerAndCountAre(std::uint8_t answer, std::uint8_t count);

}  // namespace korvex::link
