// One exchange with the panel's starter at a time: the request in LinkRequest is framed and
// sent, the reply is collected into LinkReply and checked, with time budgets, retries and the
// bit rate (9600, 57600, 115200). Also the step that makes sure a port is chosen and open,
// and the wait that keeps the front end responsive. Single-threaded: waits let the operator's
// front end handle its messages (Stop sets StopRequested, which ends every wait here).
#pragma once

#include <array>
#include <cstdint>

#include "link/frame.h"
#include "link/port_dialog.h"
#include "link/serial_device.h"
#include "link/tkvrs.h"
#include "shell/session.h"

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

// What the line carried during an operation, for the run report.
struct ExchangeCounts {
  std::uint32_t requests = 0;      // Transact calls that sent their request
  std::uint32_t attempts = 0;      // frames sent, repetitions included
  std::uint32_t failed = 0;        // requests that got no reply with matching check bytes
  std::uint32_t wrongAnswers = 0;  // replies that answered "error" or "bad command"
};

class Link {
 public:
  // `device` is the machine's serial line (or an in-process one); the session provides the
  // operator, the clock, the status panel, StopRequested and ExitCode.
  Link(shell::Session& session, SerialDevice& device);
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Sends LinkRequest positions 1..n (n 4..259) and receives a reply whose two check bytes
  // match, in up to `attempts` frame attempts of `budgetMs` each. From the third attempt on
  // the rate is applied again first, which discards stale input. False for any n outside
  // 4..259 without sending anything.
  bool Transact(std::uint16_t attempts, std::uint16_t n, std::uint16_t budgetMs, bool showProgress);
  // Frames LinkRequest positions 1..n once and writes it in one piece.
  void SendFrame(std::uint16_t n);
  // Receives one reply into LinkReply within budgetMs (counted in turns of at most 55 ms,
  // not restarted by arriving bytes) and checks it. The first turn always runs.
  bool ReceiveReply(std::uint16_t budgetMs, bool showProgress);
  // Queues one byte for the line; a stuffed 0xFF is followed by 0x00.
  void SendLinkByte(std::uint8_t b, bool stuffed);
  // Opens or re-uses SelectedPort at the rate of RateIndex and shows it on the status bar;
  // a port that cannot be opened sets exit code 2.
  bool SetLinkRate();
  // RateIndex 0 -> 1 -> 2 -> 0, then SetLinkRate.
  bool StepLinkRate();
  // Asks the operator for a port when none is chosen (then FastRsEnabled follows the dialog
  // and RateIndex restarts at 0), then SetLinkRate. A port that cannot be opened is
  // explained in an error box (missing, in use, no permission).
  bool EnsurePortChosen();
  // Lets ms milliseconds pass while the front end handles its messages; ends early on Stop.
  void PumpWait(std::uint16_t ms);

  shell::Session& Context() { return session_; }

 private:
  // Tells the operator once per session when the port's USB adapter holds bytes back.
  void NoteAdapterLatency();
  std::uint16_t Tick16() { return static_cast<std::uint16_t>(session_.Time().TickMs()); }
  // Milliseconds since `last` (16-bit difference) capped at kMaxTurnMs; moves `last` on.
  std::uint16_t TurnStep(std::uint16_t& last);

  shell::Session& session_;

 public:
  // Request positions 1..259 (position 0 is unused).
  std::array<std::uint8_t, 1 + kMaxRequestLength> LinkRequest{};
  // Position 0 data count (0 meaning 256), 1 answer code, 2.. data.
  ReplyReceiver::Buffer LinkReply{};
  std::uint16_t RateIndex = 0;
  ExchangeCounts Exchanges;
  bool FastRsEnabled = false;
  TKVRS KVRS;
  PortDialog FormFlashRS;
};

}  // namespace korvex::link
