#include "link/starter_connection.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "link/starter.h"

namespace korvex::link {

namespace {

// The line padded with blanks to the keypad width; only that many characters are sent.
void PutKeypadLine(RequestWriter& request, const std::string& line) {
  std::string padded = line.substr(0, std::min(line.size(), kKeypadWidth));
  padded.resize(kKeypadWidth, ' ');
  for (const char c : padded) request.Put(static_cast<std::uint8_t>(c));
}

// Exchanges whose reply is examined by the caller or not at all.
bool ControlExchange(Link& link, const RequestWriter& request) {
  return link.Transact(request, kControlAttempts, kControlBudgetMs).has_value();
}

}  // namespace

ConnectResult Starter::ConnectStarter() {
  const RequestWriter request{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
  const std::optional<ReplyView> reply =
      link_.Transact(request, kConnectAttempts, kConnectBudgetMs);
  // A port that cannot be reopened at the next rate shows in the next attempt's exchange.
  if (!reply) {
    (void)link_.StepLinkRate();
    return ConnectResult::kNoAnswer;
  }
  if (reply->Answer() != kAnswerData) return ConnectResult::kNoAnswer;
  if (reply->Data(0) != 0) {
    (void)link_.StepLinkRate();
    return ConnectResult::kRefused;
  }
  if (link_.RateIndex() != 0 || !link_.FastRsEnabled()) return ConnectResult::kConnected;

  // Ready at 9600: ask for a faster rate.
  const std::optional<ReplyView> fast =
      link_.Transact({0x14, 0x55, 0xAA, 0x41}, kFastRateAttempts, kFastRateBudgetMs);
  if (!fast || fast->Answer() != kAnswerData) return ConnectResult::kNoAnswer;
  switch (fast->Data(0)) {
    case 0:
      link_.SetRateIndex(2);
      break;
    case 1:
      link_.SetRateIndex(1);
      break;
    default:
      return ConnectResult::kNoAnswer;
  }
  // A port that cannot be reopened at the new rate is no connection: the caller's next
  // attempt steps on and opens the port again.
  return link_.SetLinkRate() ? ConnectResult::kConnected : ConnectResult::kNoAnswer;
}

std::optional<std::uint8_t> Starter::IdentifyPanel() {
  const std::optional<ReplyView> reply =
      link_.Transact({0x61, 0x61, 0x61, 0x61}, kControlAttempts, kControlBudgetMs);
  if (!reply) return std::nullopt;
  if (reply->Answer() == kAnswerData) {
    state_.FlashKind = reply->Data(0);
    state_.PanelType = reply->Data(1);
    state_.StarterVersion = reply->Data(2);
  }
  return reply->Answer();
}

void Starter::SetLinkToken() {
  const std::array<std::uint8_t, 4>& token = state_.LinkToken;
  (void)ControlExchange(link_, {0x1E, token[0], token[1], token[2], token[3]});
}

bool Starter::CheckLinkToken() {
  if (state_.StarterVersion < kFirstTokenStarter) return true;
  const auto tokenMatches = [this](const ReplyView& reply) {
    // Any other answer code counts with the failed exchanges.
    if (reply.Answer() != kAnswerData) return ReplyVerdict::kFailed;
    const std::span<const std::uint8_t> held = reply.DataBytes(state_.LinkToken.size());
    return std::equal(held.begin(), held.end(), state_.LinkToken.begin()) ? ReplyVerdict::kAccepted
                                                                          : ReplyVerdict::kWrong;
  };
  return ExchangeWithRetries(link_, {0x1F, 0x1F, 0x1F, 0x1F},
                             {.attempts = kControlAttempts,
                              .budgetMs = kControlBudgetMs,
                              .failureLimit = kTokenFailureLimit},
                             tokenMatches) == RetryResult::kAccepted;
}

bool Starter::RestartPanel() {
  bool connected = false;
  for (int i = 0; i < kRestartConnects; ++i) {
    connected = ConnectStarter() == ConnectResult::kConnected;
    if (connected || link_.StopRequested()) break;
  }
  if (!connected) return false;
  for (int i = 0; i < kRestartRequests; ++i) {
    const std::optional<ReplyView> reply =
        link_.Transact({0x67, 0x68, 0x69, 0x6A}, kControlAttempts, kControlBudgetMs);
    if (reply && reply->Answer() == kAnswerDone) break;
    if (link_.StopRequested()) break;
  }
  return true;
}

void Starter::ShowKeypadText(const std::string& line1, const std::string& line2, bool title) {
  RequestWriter request;
  if (!line1.empty() && !line2.empty()) {
    request.Put({0x21, 0x22, static_cast<std::uint8_t>(title ? 0x73 : 0x74), 0xFF});
    PutKeypadLine(request, line1);
    PutKeypadLine(request, line2);
  } else if (!line1.empty() || !line2.empty()) {
    const bool second = line1.empty();
    request.Put({0x21, 0x11, static_cast<std::uint8_t>(second ? 0x7D : 0x7C)});
    PutKeypadLine(request, second ? line2 : line1);
  } else {
    request.Put({0x21, 0x02, 0x72, 0x66});
  }
  (void)ControlExchange(link_, request);
}

bool Starter::RunStarterUpdate() {
  const std::optional<ReplyView> reply = link_.Transact(
      {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, kStarterUpdateAttempts, kStarterUpdateBudgetMs);
  return reply && reply->Answer() == kAnswerDone;
}

}  // namespace korvex::link
