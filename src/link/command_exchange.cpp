#include "link/command_exchange.h"

namespace korvex::link {

RetryResult ExchangeWithRetries(Link& link, const RequestWriter& request, const RetryRule& rule,
                                const ReplyCheck& check) {
  int failed = 0;
  int wrong = 0;
  for (;;) {
    const std::optional<ReplyView> reply =
        link.Transact(request, rule.attempts, rule.budgetMs, rule.showProgress);
    const ReplyVerdict verdict = reply ? check(*reply) : ReplyVerdict::kFailed;
    if (verdict == ReplyVerdict::kAccepted) return RetryResult::kAccepted;
    if (verdict == ReplyVerdict::kFailed || rule.counting == FailureCounting::kTogether) {
      ++failed;
    } else {
      ++wrong;
    }
    if (rule.pauseAfterFailureMs > 0) link.PumpWait(rule.pauseAfterFailureMs);
    if (failed > rule.failureLimit) return RetryResult::kNoReply;
    if (wrong > rule.failureLimit) return RetryResult::kRefused;
    if (rule.onStop == OnStop::kGiveUp && link.StopRequested()) return RetryResult::kRefused;
  }
}

ReplyCheck AnswerIs(std::uint8_t answer) {
  return [answer](const ReplyView& reply) {
    return reply.Answer() == answer ? ReplyVerdict::kAccepted : ReplyVerdict::kWrong;
  };
}

ReplyCheck AnswerAndCountAre(std::uint8_t answer, std::uint8_t count) {
  return [answer, count](const ReplyView& reply) {
    return reply.Answer() == answer && reply.Count() == count ? ReplyVerdict::kAccepted
                                                              : ReplyVerdict::kWrong;
  };
}

}  // namespace korvex::link
