#include "link/st_command.h"

#include <algorithm>

#include "link/starter_request.h"
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

bool StCommand(Link& link, std::span<const std::uint8_t> command, std::uint8_t wait,
               std::uint8_t expectedAnswer, std::vector<std::uint8_t>& reply, bool showProgress,
               std::uint8_t expectedCount) {
  reply.clear();
  if (command.size() > kStMaxCommandLength) return false;
  shell::Session& session = link.Context();
  const auto n = static_cast<std::uint16_t>(4 + command.size());
  const std::uint16_t budget = StBudgetMs(wait);
  const std::uint8_t commandByte = command.empty() ? 0 : command[0];
  FailureCounts counts;
  for (;;) {
    PutRequest(link,
               {kStCommandCode, wait, expectedCount, static_cast<std::uint8_t>(command.size())});
    PutRequestBytes(link, 5, command);
    if (!link.Transact(kStAttempts, n, budget, showProgress)) {
      ++counts.failed;
    } else if (ReplyCount(link) == expectedCount && ReplyAnswer(link) == kAnswerData &&
               ReplyData(link, 0) == expectedAnswer) {
      const std::size_t count = expectedCount == 0 ? kMaxReplyData : expectedCount;
      reply.assign(link.LinkReply.begin() + 2, link.LinkReply.begin() + 2 + count);
      return true;
    } else {
      ++counts.wrong;
      const std::string text =
          StWrongAnswerText(commandByte, expectedAnswer, expectedCount, link.LinkReply);
      if (session.ShowMessageBox(text, shell::MessageKind::kConfirmation, false)) {
        session.StopRequested = true;
      }
    }
    link.PumpWait(kStRetryPauseMs);
    if (counts.Exceeded(kStFailureLimit) || session.StopRequested) return false;
  }
}

}  // namespace korvex::link
