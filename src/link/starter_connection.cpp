#include "link/starter_connection.h"

#include <algorithm>

#include "link/starter_request.h"

namespace korvex::link {

namespace {

// The line padded with blanks to the keypad width; only that many characters are sent.
std::string KeypadLine(const std::string& line) {
  std::string padded = line.substr(0, std::min(line.size(), kKeypadWidth));
  padded.resize(kKeypadWidth, ' ');
  return padded;
}

void PutKeypadLine(Link& link, std::size_t from, const std::string& line) {
  const std::string padded = KeypadLine(line);
  for (std::size_t i = 0; i < kKeypadWidth; ++i) {
    link.LinkRequest[from + i] = static_cast<std::uint8_t>(padded[i]);
  }
}

}  // namespace

ConnectResult ConnectStarter(Link& link) {
  const std::uint16_t n = PutRequest(link, {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA});
  if (!link.Transact(kConnectAttempts, n, kConnectBudgetMs, false)) {
    link.StepLinkRate();
    return ConnectResult::kNoAnswer;
  }
  if (ReplyAnswer(link) != kAnswerData) return ConnectResult::kNoAnswer;
  if (ReplyData(link, 0) != 0) {
    link.StepLinkRate();
    return ConnectResult::kRefused;
  }
  if (link.RateIndex != 0 || !link.FastRsEnabled) return ConnectResult::kConnected;

  // Ready at 9600: ask for a faster rate.
  const std::uint16_t fastN = PutRequest(link, {0x14, 0x55, 0xAA, 0x41});
  if (!link.Transact(kFastRateAttempts, fastN, kFastRateBudgetMs, false) ||
      ReplyAnswer(link) != kAnswerData) {
    return ConnectResult::kNoAnswer;
  }
  switch (ReplyData(link, 0)) {
    case 0:
      link.RateIndex = 2;
      break;
    case 1:
      link.RateIndex = 1;
      break;
    default:
      return ConnectResult::kNoAnswer;
  }
  // A port that cannot be reopened at the new rate is no connection: the caller's next
  // attempt steps on and opens the port again.
  return link.SetLinkRate() ? ConnectResult::kConnected : ConnectResult::kNoAnswer;
}

bool IdentifyPanel(Link& link) {
  const std::uint16_t n = PutRequest(link, {0x61, 0x61, 0x61, 0x61});
  return link.Transact(kControlAttempts, n, kControlBudgetMs, false);
}

void StoreIdentification(const Link& link, StarterState& state) {
  state.FlashKind = ReplyData(link, 0);
  state.PanelType = ReplyData(link, 1);
  state.StarterVersion = ReplyData(link, 2);
}

void SetLinkToken(Link& link, const std::array<std::uint8_t, 4>& token) {
  const std::uint16_t n = PutRequest(link, {0x1E, token[0], token[1], token[2], token[3]});
  link.Transact(kControlAttempts, n, kControlBudgetMs, false);
}

bool CheckLinkToken(Link& link, const StarterState& state) {
  if (state.StarterVersion < kFirstTokenStarter) return true;
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n = PutRequest(link, {0x1F, 0x1F, 0x1F, 0x1F});
    if (!link.Transact(kControlAttempts, n, kControlBudgetMs, false) ||
        ReplyAnswer(link) != kAnswerData) {
      ++counts.failed;
    } else if (std::equal(state.LinkToken.begin(), state.LinkToken.end(),
                          link.LinkReply.begin() + 2)) {
      return true;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kTokenFailureLimit) || link.Context().StopRequested) return false;
  }
}

bool RestartPanel(Link& link) {
  bool connected = false;
  for (int i = 0; i < kRestartConnects; ++i) {
    connected = ConnectStarter(link) == ConnectResult::kConnected;
    if (connected || link.Context().StopRequested) break;
  }
  if (!connected) return false;
  for (int i = 0; i < kRestartRequests; ++i) {
    const std::uint16_t n = PutRequest(link, {0x67, 0x68, 0x69, 0x6A});
    if (link.Transact(kControlAttempts, n, kControlBudgetMs, false) &&
        ReplyAnswer(link) == kAnswerDone) {
      break;
    }
    if (link.Context().StopRequested) break;
  }
  return true;
}

void ShowKeypadText(Link& link, const std::string& line1, const std::string& line2, bool title) {
  std::uint16_t n = 0;
  if (!line1.empty() && !line2.empty()) {
    PutRequest(link, {0x21, 0x22, static_cast<std::uint8_t>(title ? 0x73 : 0x74), 0xFF});
    PutKeypadLine(link, 5, line1);
    PutKeypadLine(link, 5 + kKeypadWidth, line2);
    n = static_cast<std::uint16_t>(4 + 2 * kKeypadWidth);
  } else if (!line1.empty() || !line2.empty()) {
    const bool second = line1.empty();
    PutRequest(link, {0x21, 0x11, static_cast<std::uint8_t>(second ? 0x7D : 0x7C)});
    PutKeypadLine(link, 4, second ? line2 : line1);
    n = static_cast<std::uint16_t>(3 + kKeypadWidth);
  } else {
    n = PutRequest(link, {0x21, 0x02, 0x72, 0x66});
  }
  link.Transact(kControlAttempts, n, kControlBudgetMs, false);
}

bool RunStarterUpdate(Link& link) {
  const std::uint16_t n = PutRequest(link, {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  return link.Transact(kStarterUpdateAttempts, n, kStarterUpdateBudgetMs, false) &&
         ReplyAnswer(link) == kAnswerDone;
}

}  // namespace korvex::link
