// One exchange with the panel's starter at a time: a request is framed and sent, the reply
// is collected into LinkReply and checked, with time budgets, retries and the bit rate (9600,
// 57600, 115200). Also the step that makes sure a port is chosen and open, and the wait that
// keeps the front end responsive. Single-threaded: waits let the front end handle its
// messages (Stop sets the host's stop flag, which ends every wait here).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/frame.h"
#include "link/link_host.h"
#include "link/port_dialog.h"
#include "link/request_writer.h"
#include "link/serial_device.h"
#include "link/tkvrs.h"
#include "shell/operator.h"

namespace korvex::link {

// Answer codes of the starter (position 1 of LinkReply); this layer does not interpret them.
inline constexpr std::uint8_t kAnswerDone = 0x91;
inline constexpr std::uint8_t kAnswerData = 0x92;
inline constexpr std::uint8_t kAnswerError = 0x93;
inline constexpr std::uint8_t kAnswerBadCommand = 0x94;

// The bit rates selected by RateIndex 0, 1 and 2, and the parity used on the link.
inline constexpr std::array<std::uint32_t, 3> kLinkRates = {9600, 57600, 115200};
inline constexpr char kLinkParity = 'N';
// While no reply byte is waiting the receive loop waits this long for input per turn.
inline constexpr std::uint32_t kReceiveIdleWaitMs = 10;
// However long a turn took, it counts at most this much against a time budget.
inline constexpr std::uint16_t kMaxTurnMs = 55;
// PumpWait yields the processor for this long between message turns.
inline constexpr std::uint32_t kPumpTurnMs = 1;

// " " + port + " 9600 bps" (and so on): the port panel of the status bar.
std::string LinkStatusText(const std::string& port, std::uint16_t rateIndex);

// A read-only view of the last reply (LinkReply), valid until the next exchange.
class ReplyView {
 public:
  explicit ReplyView(const ReplyReceiver::Buffer& reply) : reply_(&reply) {}
  // The data count as received (0 meaning 256).
  std::uint8_t Count() const { return (*reply_)[0]; }
  std::uint8_t Answer() const { return (*reply_)[1]; }
  // Data byte k (position k + 2).
  std::uint8_t Data(std::size_t k) const { return (*reply_)[2 + k]; }
  // Data bytes 0..n-1.
  std::span<const std::uint8_t> DataBytes(std::size_t n) const {
    return {reply_->data() + 2, std::min(n, kMaxReplyData)};
  }
  // Every position, count first (for diagnostics).
  const ReplyReceiver::Buffer& Positions() const { return *reply_; }

 private:
  const ReplyReceiver::Buffer* reply_;
};

// What the line carried during an operation, for the run report.
struct ExchangeCounts {
  std::uint32_t requests = 0;      // Transact calls that sent their request
  std::uint32_t attempts = 0;      // frames sent, repetitions included
  std::uint32_t failed = 0;        // requests that got no reply with matching check bytes
  std::uint32_t wrongAnswers = 0;  // replies that answered "error" or "bad command"
};

class Link {
 public:
  // `device` is the machine's serial line (or an in-process one); the host provides the
  // clock, message turns, the stop flag and the operator-facing reports.
  Link(LinkHost& host, SerialDevice& device);
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Sends the request and receives a reply whose two check bytes match, in up to
  // `attempts` frame attempts of `budgetMs` each. From the third attempt on the rate is
  // applied again first, which discards stale input; when that fails the port is gone and
  // the exchange ends at once. The reply, or nullopt; an invalid request (fewer than 4 or
  // more than 259 bytes) sends nothing.
  [[nodiscard]] std::optional<ReplyView> Transact(const RequestWriter& request,
                                                  std::uint16_t attempts, std::uint16_t budgetMs,
                                                  bool showProgress = false);
  // Receives one reply into LinkReply within budgetMs (counted in turns of at most 55 ms,
  // not restarted by arriving bytes) and checks it. The first turn always runs.
  [[nodiscard]] bool ReceiveReply(std::uint16_t budgetMs, bool showProgress);
  // The last reply received (complete or not).
  ReplyView LastReply() const { return ReplyView(LinkReply); }

  // Opens or re-uses the chosen port at the rate of RateIndex; the host shows the port text
  // and learns whether the port opened.
  [[nodiscard]] bool SetLinkRate();
  // RateIndex 0 -> 1 -> 2 -> 0, then SetLinkRate.
  [[nodiscard]] bool StepLinkRate();
  // Asks the operator for a port when none is chosen (then FastRsEnabled follows the dialog
  // and RateIndex restarts at 0), then SetLinkRate. When false, LastOpenResult() of the
  // port says why (unless the operator chose no port).
  [[nodiscard]] bool EnsurePortChosen(shell::Operator& op);
  // Lets ms milliseconds pass while the front end handles its messages; ends early on Stop.
  void PumpWait(std::uint16_t ms);

  std::uint16_t RateIndex() const { return rateIndex_; }
  void SetRateIndex(std::uint16_t index) { rateIndex_ = index; }
  bool FastRsEnabled() const { return fastRsEnabled_; }
  void SetFastRsEnabled(bool enabled) { fastRsEnabled_ = enabled; }

  // The serial port component and the port dialog's logic.
  TKVRS& KVRS() { return kvrs_; }
  const TKVRS& KVRS() const { return kvrs_; }
  PortDialog& FormFlashRS() { return formFlashRS_; }

  // What the line carried since the last ResetExchanges, for the run report.
  const ExchangeCounts& Exchanges() const { return exchanges_; }
  void ResetExchanges() { exchanges_ = {}; }

  LinkHost& Host() { return host_; }
  bool StopRequested() const { return host_.StopRequested(); }

 private:
  std::uint16_t Tick16() { return static_cast<std::uint16_t>(host_.Time().TickMs()); }
  // Milliseconds since `last` (16-bit difference) capped at kMaxTurnMs; moves `last` on.
  std::uint16_t TurnStep(std::uint16_t& last);
  // Frames LinkRequest positions 1..n once and writes it in one piece; false when the
  // write failed.
  bool SendFrame(std::size_t n);

  LinkHost& host_;
  // Request positions 1..259 (position 0 is unused).
  std::array<std::uint8_t, 1 + kMaxRequestLength> LinkRequest{};
  // Position 0 data count (0 meaning 256), 1 answer code, 2.. data.
  ReplyReceiver::Buffer LinkReply{};
  std::uint16_t rateIndex_ = 0;
  bool fastRsEnabled_ = false;
  TKVRS kvrs_;
  PortDialog formFlashRS_;
  ExchangeCounts exchanges_;
};

}  // namespace korvex::link
