#include "link/link.h"

#include "link/usb_latency.h"

#include <algorithm>
#include <span>

namespace korvex::link {

namespace {

constexpr std::uint8_t kMark = 0xFF;

std::uint32_t RateOf(std::uint16_t rateIndex) {
  return kLinkRates[rateIndex < kLinkRates.size() ? rateIndex : 0];
}

}  // namespace

std::string LinkStatusText(const std::string& port, std::uint16_t rateIndex) {
  return " " + port + " " + std::to_string(RateOf(rateIndex)) + " bps";
}

Link::Link(shell::Session& session, SerialDevice& device)
    : session_(session), KVRS(device, session.Time(), session.Op()), FormFlashRS(KVRS) {}

std::uint16_t Link::TurnStep(std::uint16_t& last) {
  const std::uint16_t now = Tick16();
  const auto step = std::min(static_cast<std::uint16_t>(now - last), kMaxTurnMs);
  last = now;
  return step;
}

void Link::SendLinkByte(std::uint8_t b, bool stuffed) {
  KVRS.RSadd(b);
  if (b == kMark && stuffed) KVRS.RSadd(0x00);
}

void Link::SendFrame(std::uint16_t n) {
  if (n < kMinRequestLength || n > kMaxRequestLength) return;
  const std::vector<std::uint8_t> wire =
      EncodeRequestFrame(std::span<const std::uint8_t>(LinkRequest.data() + 1, n));
  KVRS.RSadd(wire);
  KVRS.RSflush();
}

bool Link::ReceiveReply(std::uint16_t budgetMs, bool showProgress) {
  ReplyReceiver receiver(LinkReply);
  std::uint32_t elapsed = 0;
  std::uint16_t last = Tick16();
  do {
    std::uint8_t b = 0;
    if (KVRS.RSread(b)) {
      last = Tick16();
      receiver.Feed(b);
    } else {
      session_.ProcessMessages();
      // Instead of sleeping a fixed time: wait for the next byte, at most as long as the
      // sleep would have taken, so a reply is taken the moment it arrives.
      KVRS.WaitForInput(kReceiveIdleWaitMs);
    }
    elapsed += TurnStep(last);
    if (showProgress) {
      session_.Info1.KVprogress(static_cast<std::int32_t>(elapsed), budgetMs, 1);
    }
  } while (elapsed < budgetMs && !receiver.Complete() && !session_.StopRequested);
  return receiver.ChecksMatch();
}

bool Link::Transact(std::uint16_t attempts, std::uint16_t n, std::uint16_t budgetMs,
                    bool showProgress) {
  if (n < kMinRequestLength || n > kMaxRequestLength) return false;
  std::uint16_t attempt = 0;
  bool ok = false;
  ++Exchanges.requests;
  do {
    if (attempt >= 2) SetLinkRate();
    ++attempt;
    ++Exchanges.attempts;
    SendFrame(n);
    ok = ReceiveReply(budgetMs, showProgress);
  } while (!ok && attempt < attempts);
  if (!ok) {
    ++Exchanges.failed;
  } else if (LinkReply[1] == kAnswerError || LinkReply[1] == kAnswerBadCommand) {
    ++Exchanges.wrongAnswers;
  }
  return ok;
}

bool Link::SetLinkRate() {
  if (RateIndex >= kLinkRates.size()) RateIndex = 0;
  const bool ok = KVRS.RSinitbps(RateOf(RateIndex), kLinkParity);
  session_.Op().SetStatusBarPort(LinkStatusText(KVRS.SelectedPort(), RateIndex));
  if (!ok) session_.ExitCode = shell::kExitPortFailed;
  return ok;
}

bool Link::StepLinkRate() {
  ++RateIndex;
  if (RateIndex > 2) RateIndex = 0;
  return SetLinkRate();
}

bool Link::EnsurePortChosen() {
  if (KVRS.SelectedPort().empty()) {
    if (!FormFlashRS.Run(session_.Op())) KVRS.SelectNoPort();
    if (KVRS.SelectedPort().empty()) return false;
    FastRsEnabled = FormFlashRS.FastRs();
    RateIndex = 0;
  }
  const bool ok = SetLinkRate();
  if (!ok && !KVRS.LastOpenResult().Ok()) {
    session_.ShowMessageBox(KVRS.LastOpenResult().message, shell::MessageKind::kError, true);
  }
  if (ok) NoteAdapterLatency();
  return ok;
}

void Link::NoteAdapterLatency() {
  const std::optional<AdapterLatency> latency = KVRS.AdapterLatencyOfPort();
  if (!latency) return;
  session_.AdapterLatencyMs = latency->timerMs;
  if (latency->timerMs <= kFastLatencyMs || session_.AdapterLatencyNoted) return;
  session_.AdapterLatencyNoted = true;
  session_.Op().ShowNotice(LatencyNote(latency->device, latency->timerMs));
}

void Link::PumpWait(std::uint16_t ms) {
  std::uint32_t elapsed = 0;
  std::uint16_t last = Tick16();
  do {
    session_.ProcessMessages();
    // Give the processor back between message turns; without it the loop would spin at
    // full load (and a clock that only moves when waited on would never move).
    session_.Time().SleepMs(kPumpTurnMs);
    elapsed += TurnStep(last);
  } while (elapsed < ms && !session_.StopRequested);
}

}  // namespace korvex::link
