// The simulated panel: its starter with rates, connection, identification, link token,
// restart and keypad texts; the 512 KB FLASH; the two settings areas; the ST controller
// behind the pass-through request; and the starter updater. It is fed the bytes the PC sends
// (with the line's bit rate and the time) and produces reply bytes with the time each one is
// on the line. It does no I/O of its own: the in-process line peer and the pseudo-terminal
// server drive it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/fault_plan.h"
#include "sim/flash_chip.h"
#include "sim/st_controller.h"

namespace korvex::sim {

inline constexpr std::uint32_t kPowerUpRate = 9600;
// A correct PC checks the link token at least once per this many full page programs.
inline constexpr std::uint32_t kMaxProgramsPerTokenCheck = 28;
// A pause this long between two bytes ends whatever frame the starter was reading.
inline constexpr std::uint64_t kFrameGapUs = 50'000;

// Answer codes of the starter.
inline constexpr std::uint8_t kAnswerDone = 0x91;
inline constexpr std::uint8_t kAnswerData = 0x92;
inline constexpr std::uint8_t kAnswerError = 0x93;
inline constexpr std::uint8_t kAnswerUnknown = 0x94;

enum class PanelMode {
  kStarter,     // the starter listens
  kBooting,     // after a restart, before the program, the updater or the starter runs
  kProgram,     // the panel's own program runs; it does not answer starter requests
  kUpdater,     // the starter updater runs and waits for its one request
  kRebuilding,  // the updater writes the new starter
  kOff,         // the power failed
};
const char* ModeName(PanelMode mode);

enum class CtsBehaviour {
  kPulse,  // off in the starter; on for a while once the program has started, then off
  kOff,    // never on
  kOn,     // always on
};

struct PanelConfig {
  std::uint8_t panelType = 3;
  std::uint8_t flashKind = 5;
  std::uint8_t starterVersion = 0x61;         // reported by identification (0x61 is 6.1)
  std::uint8_t rebuiltStarterVersion = 0x61;  // what the starter updater builds
  std::uint32_t listenRate = kPowerUpRate;    // the starter's rate when the simulation starts
  std::uint32_t fastRate = 115200;            // offered to the fast-rate request; 0: unknown
  std::optional<std::array<std::uint8_t, 4>> token;  // held at the start; else from the seed
  CtsBehaviour cts = CtsBehaviour::kPulse;
  std::uint32_t ctsDelayMs = 300;   // program start to CTS on
  std::uint32_t ctsPulseMs = 1500;  // CTS on for this long
  std::uint32_t bootMs = 150;       // restart to program, updater or starter running
  std::uint32_t rearmMs = 0;        // the program hands back to the starter after this; 0 never
  bool startInProgram = false;      // the panel's program runs when the simulation starts
  bool wireTime = true;             // bytes take 10 bit times each on the line
  bool chipTimes = true;            // the starter, the chips and the ST take their time
  bool strict = true;               // refuse FLASH writes that break the link-token rules
  std::uint32_t seed = 1;
  FaultPlan faults;
};

struct PanelMemory {
  std::vector<std::uint8_t> flash;                    // kFlashSize bytes
  std::array<std::vector<std::uint8_t>, 2> settings;  // areas 1 and 2, 64 KB each
  StState st;
};

// One keypad request: the lines it set (a form that sets one line leaves the other).
struct KeypadText {
  std::uint32_t seq = 0;
  std::uint64_t atUs = 0;
  bool title = false;
  std::optional<std::string> line1;
  std::optional<std::string> line2;
  bool cleared = false;
};

struct KeypadDisplay {
  std::string line1;
  std::string line2;
  bool title = false;
};

struct ExchangeRecord {
  std::uint32_t seq = 0;   // 1 for the first request the panel heard
  std::uint64_t atUs = 0;  // the request's last byte arrived
  std::uint32_t bitRate = 0;
  std::vector<std::uint8_t> request;   // Req1..Reqn
  std::string text;                    // decoded
  std::optional<std::uint8_t> answer;  // answer code of the reply, when one was sent
  std::size_t dataCount = 0;
  std::string note;  // fault, refusal reason
};

// A request a correct PC never sends (or sends at the wrong moment).
struct Violation {
  std::uint32_t seq = 0;
  std::string text;
};

struct OutByte {
  std::uint8_t value = 0;
  std::uint64_t atUs = 0;  // the byte is completely on the line
  std::uint32_t bitRate = 0;
};

struct LineStats {
  std::uint64_t framesHeard = 0;
  std::uint64_t rejectedFrames = 0;  // wrong check bytes or broken stuffing
  std::uint64_t wrongRateBytes = 0;  // sent at a rate the panel did not listen on
  std::uint64_t busyBytes = 0;       // arrived while the panel was working or replying
  std::uint64_t deafBytes = 0;       // arrived while nothing listened (program, boot, off)
};

class PanelModel {
 public:
  using LogSink = std::function<void(std::uint64_t atUs, const std::string& line)>;

  PanelModel(PanelConfig config, PanelMemory memory);

  // The line. Times are microseconds of the simulation and never go back (earlier times are
  // taken as the latest seen). Hear: the PC began sending `bytes` at `bitRate` at nowUs.
  void Hear(std::span<const std::uint8_t> bytes, std::uint32_t bitRate, std::uint64_t nowUs);
  // Reply bytes completely on the line by untilUs, removed from the queue.
  std::vector<OutByte> TakeOutput(std::uint64_t untilUs);
  std::optional<std::uint64_t> NextOutputUs() const;
  // The PC closed its port: what is still on its way is lost.
  void DiscardOutput();
  bool Cts(std::uint64_t atUs) const;
  void SetModemLines(bool dtr, bool rts, std::uint64_t atUs);
  // Lets scheduled changes (boot, rebuild, return to the starter) happen up to nowUs.
  void Advance(std::uint64_t nowUs);

  // What an operator does at the panel: enter the starter from the service menu; switch the
  // power off and on (the starter then listens at 9600 with a new token).
  void EnterStarter(std::uint64_t atUs);
  void PowerCycle(std::uint64_t atUs);
  // Replaces the faults from now on (a soak clears them before a clean re-run).
  void SetFaults(const FaultPlan& faults) { config_.faults = faults; }

  // State.
  PanelMode Mode() const { return mode_; }
  std::uint32_t ListenRate() const { return listenRate_; }
  std::uint8_t StarterVersion() const { return starterVersion_; }
  bool Connected() const { return connected_; }
  const std::array<std::uint8_t, 4>& Token() const { return token_; }
  const PanelConfig& Config() const { return config_; }
  std::uint64_t NowUs() const { return nowUs_; }

  std::span<const std::uint8_t> Flash() const { return flash_.Bytes(); }
  std::span<std::uint8_t> MutableFlash() { return flash_.Bytes(); }
  // Area 1 or 2.
  std::span<const std::uint8_t> Settings(int area) const;
  std::span<std::uint8_t> MutableSettings(int area);
  const StState& St() const { return st_.State(); }
  StState& MutableSt() { return st_.MutableState(); }
  PanelMemory MemorySnapshot() const;

  const KeypadDisplay& Keypad() const { return keypad_; }
  const std::vector<KeypadText>& KeypadHistory() const { return keypadHistory_; }
  const std::vector<ExchangeRecord>& Exchanges() const { return exchanges_; }
  const std::vector<Violation>& Violations() const { return violations_; }
  const LineStats& Stats() const { return stats_; }
  std::uint32_t RequestCount() const { return seq_; }

  // Receives a line for every decoded request, every change of mode and every fault.
  void SetLogSink(LogSink sink) { log_ = std::move(sink); }

 private:
  enum class After { kNone, kRestart, kRebuild };

  struct Outcome {
    bool reply = true;
    std::uint8_t answer = kAnswerDone;
    std::vector<std::uint8_t> data;
    std::uint64_t workUs = 0;     // counted only with chip times
    std::uint64_t timeoutUs = 0;  // a starter wait (ST pass-through); counted only with chip times
    std::string note;
    After after = After::kNone;
  };

  struct TokenRules {
    bool checkedSinceConnect = false;
    bool fresh = false;  // no FLASH write since the last check
    std::uint32_t programsSinceCheck = 0;
  };

  void HearByte(std::uint8_t b, std::uint32_t bitRate, std::uint64_t atUs);
  void HandleRequest(const std::vector<std::uint8_t>& request, std::uint32_t bitRate,
                     std::uint64_t endUs);
  Outcome HandleStarter(const std::vector<std::uint8_t>& r, std::uint64_t endUs);
  Outcome HandleUpdater(const std::vector<std::uint8_t>& r);
  Outcome Connect(const std::vector<std::uint8_t>& r);
  Outcome FastRate(const std::vector<std::uint8_t>& r);
  Outcome Identify(const std::vector<std::uint8_t>& r);
  Outcome SetToken(const std::vector<std::uint8_t>& r);
  Outcome CheckToken(const std::vector<std::uint8_t>& r);
  Outcome Restart(const std::vector<std::uint8_t>& r);
  Outcome KeypadRequest(const std::vector<std::uint8_t>& r, std::uint64_t endUs);
  Outcome ReadFlash(const std::vector<std::uint8_t>& r);
  Outcome BlockCheckRequest(const std::vector<std::uint8_t>& r);
  Outcome FlashWrite(const std::vector<std::uint8_t>& r);
  Outcome Erase(const std::vector<std::uint8_t>& r);
  Outcome ProgramFull(const std::vector<std::uint8_t>& r);
  Outcome ProgramShort(const std::vector<std::uint8_t>& r);
  // Writes one page (either form) and answers as the starter does; `how` names the form in
  // the violation text ("programmed" or "copied").
  Outcome ProgramPage(std::uint32_t address, std::span<const std::uint8_t> page, const char* how);
  Outcome ReadSettings(const std::vector<std::uint8_t>& r);
  Outcome WriteSettings(const std::vector<std::uint8_t>& r);
  Outcome WriteSettingsByte(const std::vector<std::uint8_t>& r);
  Outcome StPassThrough(const std::vector<std::uint8_t>& r, std::uint64_t endUs);
  // The token rules for a FLASH write; an outcome when the write is refused.
  std::optional<Outcome> TokenGuard(bool erase);
  Outcome Refuse(std::uint8_t answer, std::string why, bool violation = true);
  void PartialWrite(const std::vector<std::uint8_t>& r);

  void ScheduleReply(const Outcome& outcome, std::uint32_t bitRate, std::uint64_t endUs, bool drop,
                     bool corrupt, std::uint64_t delayUs, ExchangeRecord& record);
  void BootAfterRestart(std::uint64_t atUs);
  void Settle(std::uint64_t atUs);
  void EnterStarterMode(std::uint64_t atUs, const char* why);
  void InstallRebuiltStarter();
  std::array<std::uint8_t, 4> NewToken();
  bool Chance(double probability);
  void Log(std::uint64_t atUs, const std::string& line);
  void AddViolation(const std::string& text);
  std::uint64_t ByteTimeUs(std::uint32_t bitRate, std::uint64_t bytes) const;

  PanelConfig config_;
  FlashChip flash_;
  std::array<std::vector<std::uint8_t>, 2> settings_;
  StController st_;

  PanelMode mode_ = PanelMode::kStarter;
  std::optional<std::pair<std::uint64_t, PanelMode>> pending_;  // next change of mode
  std::optional<std::uint64_t> programStartUs_;
  std::uint64_t programEndUs_ = UINT64_MAX;

  std::uint32_t listenRate_;
  bool connected_ = false;
  std::uint8_t starterVersion_;
  std::array<std::uint8_t, 4> token_{};
  bool tokenLost_ = false;
  std::uint32_t refusalsLeft_;
  TokenRules rules_;
  TokenRules rulesBeforeLast_;
  std::vector<std::uint8_t> lastRequest_;

  link::RequestParser parser_;
  std::uint64_t nowUs_ = 0;
  std::uint64_t rxLineFreeUs_ = 0;
  std::uint64_t lastHeardUs_ = 0;
  std::uint64_t busyUntilUs_ = 0;
  std::uint64_t stBusyUntilUs_ = 0;
  std::deque<OutByte> output_;
  bool dtr_ = false;
  bool rts_ = false;

  std::uint32_t seq_ = 0;
  std::array<std::uint32_t, 256> commandCounts_{};
  std::mt19937 faultRng_;
  std::mt19937 tokenRng_;

  KeypadDisplay keypad_;
  std::vector<KeypadText> keypadHistory_;
  std::vector<ExchangeRecord> exchanges_;
  std::vector<Violation> violations_;
  LineStats stats_;
  LogSink log_;
};

}  // namespace korvex::sim
