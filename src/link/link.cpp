#include "link/link.h"

#include "link/usb_latency.h"

#include <algorithm>
#include <span>

namespace korvex::link {

namespace {

std::uint32_t RateOf(std::uint16_t rateIndex) {
  return kLinkRates[rateIndex < kLinkRates.size() ? rateIndex : 0];
}

}  // namespace

std::string LinkStatusText(const std::string& port, std::uint16_t rateIndex) {
  return " " + port + " " + std::to_string(RateOf(rateIndex)) + " bps";
}

Link::Link(LinkHost& host, SerialDevice& device)
    : host_(host), kvrs_(device, host.Time(), host), formFlashRS_(kvrs_) {}

std::uint16_t Link::TurnStep(std::uint16_t& last) {
  const std::uint16_t now = Tick16();
  const auto step = std::min(static_cast<std::uint16_t>(now - last), kMaxTurnMs);
  last = now;
  return step;
}

bool Link::SendFrame(std::size_t n) {
  const std::vector<std::uint8_t> wire =
      EncodeRequestFrame(std::span<const std::uint8_t>(LinkRequest.data() + 1, n));
  const bool queued = kvrs_.RSadd(wire);
  return kvrs_.RSflush() && queued;
}

bool Link::ReceiveReply(std::uint16_t budgetMs, bool showProgress) {
  ReplyReceiver receiver(LinkReply);
  std::uint32_t elapsed = 0;
  std::uint16_t last = Tick16();
  do {
    std::uint8_t b = 0;
    if (kvrs_.RSread(b)) {
      last = Tick16();
      receiver.Feed(b);
    } else {
      host_.ProcessMessages();
      // Instead of sleeping a fixed time: wait for the next byte, at most as long as the
      // sleep would have taken, so a reply is taken the moment it arrives.
      kvrs_.WaitForInput(kReceiveIdleWaitMs);
    }
    elapsed += TurnStep(last);
    if (showProgress) host_.ShowReceiveProgress(elapsed, budgetMs);
  } while (elapsed < budgetMs && !receiver.Complete() && !host_.StopRequested());
  return receiver.ChecksMatch();
}

std::optional<ReplyView> Link::Transact(const RequestWriter& request, std::uint16_t attempts,
                                        std::uint16_t budgetMs, bool showProgress) {
  if (!request.Valid()) return std::nullopt;
  const std::span<const std::uint8_t> bytes = request.Bytes();
  std::copy(bytes.begin(), bytes.end(), LinkRequest.begin() + 1);
  std::uint16_t attempt = 0;
  bool ok = false;
  ++exchanges_.requests;
  do {
    // A port that cannot be reopened is gone: the remaining attempts could only wait out
    // their budgets on a closed line.
    if (attempt >= 2 && !SetLinkRate()) {
      ++exchanges_.failed;
      return std::nullopt;
    }
    ++attempt;
    ++exchanges_.attempts;
    // A refused write leaves nothing for the panel to answer; the attempt still waits its
    // budget so the timing of a lost frame is kept.
    (void)SendFrame(bytes.size());
    ok = ReceiveReply(budgetMs, showProgress);
  } while (!ok && attempt < attempts);
  if (!ok) {
    ++exchanges_.failed;
    return std::nullopt;
  }
  if (LinkReply[1] == kAnswerError || LinkReply[1] == kAnswerBadCommand) {
    ++exchanges_.wrongAnswers;
  }
  return ReplyView(LinkReply);
}

bool Link::SetLinkRate() {
  if (rateIndex_ >= kLinkRates.size()) rateIndex_ = 0;
  const bool ok = kvrs_.RSinitbps(RateOf(rateIndex_), kLinkParity);
  host_.RateApplied(LinkStatusText(kvrs_.SelectedPort(), rateIndex_), ok);
  return ok;
}

bool Link::StepLinkRate() {
  ++rateIndex_;
  if (rateIndex_ > 2) rateIndex_ = 0;
  return SetLinkRate();
}

bool Link::EnsurePortChosen(shell::Operator& op) {
  if (kvrs_.SelectedPort().empty()) {
    if (!formFlashRS_.Run(op)) kvrs_.SelectNoPort();
    if (kvrs_.SelectedPort().empty()) return false;
    fastRsEnabled_ = formFlashRS_.FastRs();
    rateIndex_ = 0;
  }
  return SetLinkRate();
}

void Link::PumpWait(std::uint16_t ms) {
  std::uint32_t elapsed = 0;
  std::uint16_t last = Tick16();
  do {
    host_.ProcessMessages();
    // Give the processor back between message turns; without it the loop would spin at
    // full load (and a clock that only moves when waited on would never move).
    host_.Time().SleepMs(kPumpTurnMs);
    elapsed += TurnStep(last);
  } while (elapsed < ms && !host_.StopRequested());
}

}  // namespace korvex::link
