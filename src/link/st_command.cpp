#include "link/st_command.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "link/starter.h"
#include "shell/util.h"

namespace korvex::link {

namespace {

// The diagnostic shows Dcnt, the answer code and at most eight data bytes.
constexpr std::size_t kShownReplyPositions = 9;

std::string Hex2(std::uint8_t value) {
  return shell::HexText(value, 2);
}

}  // namespace

std::uint16_t StBudgetMs(std::uint8_t wait) {
  const std::uint32_t budget = wait * kStWaitUnitMs + kStExtraMs;
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(budget, 0xFFFF));
}

std::string StWrongAnswerText(std::uint8_t commandByte, std::uint8_t expectedAnswer,
                              std::uint8_t expectedCount, const ReplyReceiver::Buffer& reply) {
  std::string text = "cmd = 0x" + Hex2(commandByte) + "\n";
  text += "Expected Answer = 0x" + Hex2(expectedAnswer) + "\n";
  text += "Expected Dcnt = 0x" + Hex2(expectedCount) + "\n";
  text += "RSbuf =";
  const std::size_t count = reply[0];
  const std::size_t last = std::min(count + 1, kShownReplyPositions);
  for (std::size_t i = 0; i <= last; ++i) text += " 0x" + Hex2(reply[i]);
  if (count > 8) text += " ...";
  text += "\n\nCancel operation ?";
  return text;
}

bool Starter::StCommand(std::span<const std::uint8_t> command, std::uint8_t wait,
                        std::uint8_t expectedAnswer, std::vector<std::uint8_t>& reply,
                        bool showProgress, std::uint8_t expectedCount) {
  reply.clear();
  if (command.size() > kStMaxCommandLength) return false;
  RequestWriter request{kStCommandCode, wait, expectedCount,
                        static_cast<std::uint8_t>(command.size())};
  request.Put(command);
  const std::uint8_t commandByte = command.empty() ? 0 : command[0];
  const auto check = [&](const ReplyView& answer) {
    if (answer.Count() == expectedCount && answer.Answer() == kAnswerData &&
        answer.Data(0) == expectedAnswer) {
      return ReplyVerdict::kAccepted;
    }
    // The operator may cancel the whole operation here (Yes sets Stop).
    link_.Host().AskToCancel(
        StWrongAnswerText(commandByte, expectedAnswer, expectedCount, answer.Positions()));
    return ReplyVerdict::kWrong;
  };
  const RetryRule rule{.attempts = kStAttempts,
                       .budgetMs = StBudgetMs(wait),
                       .failureLimit = kStFailureLimit,
                       .pauseAfterFailureMs = kStRetryPauseMs,
                       .showProgress = showProgress};
  if (ExchangeWithRetries(link_, request, rule, check) != RetryResult::kAccepted) return false;
  const std::size_t count = expectedCount == 0 ? kMaxReplyData : expectedCount;
  const std::span<const std::uint8_t> data = link_.LastReply().DataBytes(count);
  reply.assign(data.begin(), data.end());
  return true;
}

}  // namespace korvex::link
