#include "sim/panel_model.h"

#include <algorithm>

#include "firmware/block_check.h"
#include "sim/program_image.h"
#include "sim/request_text.h"
#include "sim/settings_blocks.h"
#include "sim/starter_area.h"

namespace korvex::sim {

namespace {

// Request codes of the starter.
constexpr std::uint8_t kCmdConnect = 0x0D;
constexpr std::uint8_t kCmdFastRate = 0x14;
constexpr std::uint8_t kCmdIdentify = 0x61;
constexpr std::uint8_t kCmdSetToken = 0x1E;
constexpr std::uint8_t kCmdCheckToken = 0x1F;
constexpr std::uint8_t kCmdRestart = 0x67;
constexpr std::uint8_t kCmdKeypad = 0x21;
constexpr std::uint8_t kCmdRunUpdate = 0xA5;
constexpr std::uint8_t kCmdReadFlash = 0x62;
constexpr std::uint8_t kCmdBlockCheck = 0x64;
constexpr std::uint8_t kCmdReadSettings = 0x70;
constexpr std::uint8_t kCmdWriteSettings = 0x80;
constexpr std::uint8_t kCmdWriteSettingsByte = 0x81;
constexpr std::uint8_t kCmdSt = 0x90;

constexpr std::array<std::uint8_t, 7> kConnectRequest = {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
constexpr std::array<std::uint8_t, 4> kFastRateRequest = {0x14, 0x55, 0xAA, 0x41};
constexpr std::array<std::uint8_t, 4> kRestartRequest = {0x67, 0x68, 0x69, 0x6A};
constexpr std::array<std::uint8_t, 7> kRunUpdateRequest = {0xA5, 0x12, 0x34, 0x56,
                                                           0x78, 0x9A, 0xBC};

// Low nibbles of the FLASH write commands; the high nibble is the starter's command variant.
constexpr std::uint8_t kEraseNibble = 0x6;
constexpr std::uint8_t kProgramNibble = 0x5;
constexpr std::uint8_t kShortNibble = 0x8;
constexpr std::array<std::uint8_t, 7> kVariants = {0x2, 0x1, 0x4, 0x3, 0xE, 0xD, 0x6};
constexpr std::uint8_t kFirstShortFormVersion = 0x21;
constexpr std::uint8_t kFirstTokenVersion = 0x52;
constexpr std::uint32_t kShortFormLimit = 0x2000;  // the short form covers a bank's low 8 KB

constexpr std::uint32_t kSettingsBlock = 64;

// Working times of the starter (microseconds), counted when chip times are on.
constexpr std::uint64_t kTurnaroundUs = 300;
constexpr std::uint64_t kReadByteUs = 2;
constexpr std::uint64_t kSettingsReadUs = 1'000;
constexpr std::uint64_t kSettingsWriteUs = 5'000;  // one write cycle of the settings memory
constexpr std::uint64_t kRebuildOverheadUs = 200'000;

std::uint8_t CommandVariant(std::uint8_t starterVersion) {
  if (starterVersion >= 0x60) return 0x2;
  if (starterVersion >= 0x52) return 0x1;
  if (starterVersion == 0x51) return 0x4;
  if (starterVersion == 0x50) return 0x3;
  if (starterVersion >= 0x31) return 0xE;
  if (starterVersion == 0x30) return 0xD;
  return 0x6;
}

bool IsFlashWrite(std::uint8_t command) {
  const std::uint8_t low = command & 0x0F;
  const std::uint8_t high = command >> 4;
  const bool writeNibble = low == kEraseNibble || low == kProgramNibble || low == kShortNibble;
  return writeNibble && std::find(kVariants.begin(), kVariants.end(), high) != kVariants.end();
}

// Sets a bit in one byte and clears it in another: the reply's 8-bit sum and xor stay the
// same, so the PC cannot see the change. The bytes are taken from the end, so that the
// answer byte an ST reply starts with stays as it is where possible. False when no bit
// allows it.
bool GarbleUnseen(std::vector<std::uint8_t>& data) {
  for (int bit = 0; bit < 8; ++bit) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    const auto clear =
        std::find_if(data.rbegin(), data.rend(), [&](auto b) { return (b & mask) == 0; });
    const auto set =
        std::find_if(data.rbegin(), data.rend(), [&](auto b) { return (b & mask) != 0; });
    if (clear != data.rend() && set != data.rend()) {
      *clear = static_cast<std::uint8_t>(*clear | mask);
      *set = static_cast<std::uint8_t>(*set & ~mask);
      return true;
    }
  }
  return false;
}

template <std::size_t N>
bool Is(const std::vector<std::uint8_t>& r, const std::array<std::uint8_t, N>& expected) {
  return r.size() == N && std::equal(expected.begin(), expected.end(), r.begin());
}

std::uint32_t Address24(const std::vector<std::uint8_t>& r) {
  return r[1] | r[2] << 8 | r[3] << 16;
}

std::string Padded16(std::span<const std::uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

const char* ModeName(PanelMode mode) {
  switch (mode) {
    case PanelMode::kStarter:
      return "starter";
    case PanelMode::kBooting:
      return "booting";
    case PanelMode::kProgram:
      return "program";
    case PanelMode::kUpdater:
      return "updater";
    case PanelMode::kRebuilding:
      return "rebuilding";
    case PanelMode::kOff:
      return "off";
  }
  return "?";
}

PanelModel::PanelModel(PanelConfig config, PanelMemory memory)
    : config_(std::move(config)),
      flash_(config_.flashKind),
      st_(std::move(memory.st)),
      listenRate_(config_.listenRate),
      starterVersion_(config_.starterVersion),
      refusalsLeft_(config_.faults.refuseConnect),
      faultRng_(config_.faults.seed),
      tokenRng_(config_.seed ^ 0x70CE4u) {
  flash_.Load(memory.flash);
  for (std::size_t a = 0; a < 2; ++a) {
    settings_[a] = std::move(memory.settings[a]);
    settings_[a].resize(kSettingsAreaSize, 0xFF);
  }
  token_ = config_.token ? *config_.token : NewToken();
  if (config_.startInProgram) {
    mode_ = PanelMode::kProgram;
    programStartUs_ = 0;
  }
}

std::span<const std::uint8_t> PanelModel::Settings(int area) const {
  return area == 2 ? settings_[1] : settings_[0];
}

std::span<std::uint8_t> PanelModel::MutableSettings(int area) {
  return area == 2 ? settings_[1] : settings_[0];
}

PanelMemory PanelModel::MemorySnapshot() const {
  PanelMemory memory;
  memory.flash.assign(flash_.Bytes().begin(), flash_.Bytes().end());
  memory.settings = settings_;
  memory.st = st_.State();
  return memory;
}

std::uint64_t PanelModel::ByteTimeUs(std::uint32_t bitRate, std::uint64_t bytes) const {
  if (!config_.wireTime || bitRate == 0) return 0;
  return bytes * 10'000'000ull / bitRate;
}

std::array<std::uint8_t, 4> PanelModel::NewToken() {
  std::array<std::uint8_t, 4> token{};
  do {
    const auto r = static_cast<std::uint32_t>(tokenRng_());
    for (int k = 0; k < 4; ++k) token[k] = static_cast<std::uint8_t>(r >> (8 * k));
  } while (token == token_);
  return token;
}

bool PanelModel::Chance(double probability) {
  if (probability <= 0.0) return false;
  // The generator's raw output keeps the sequence the same on every platform.
  return static_cast<double>(faultRng_()) < probability * 4294967296.0;
}

void PanelModel::Log(std::uint64_t atUs, const std::string& line) {
  if (log_) log_(atUs, line);
}

void PanelModel::AddViolation(const std::string& text) {
  violations_.push_back({seq_, text});
  Log(nowUs_, "VIOLATION #" + std::to_string(seq_) + ": " + text);
}

// ---------------------------------------------------------------------------------------
// The line

void PanelModel::Hear(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
                      std::uint64_t nowUs) {
  nowUs = std::max(nowUs, nowUs_);
  nowUs_ = nowUs;
  Settle(nowUs);
  const LineStats before = stats_;
  const std::uint64_t start = std::max(nowUs, rxLineFreeUs_);
  std::uint64_t at = nowUs;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    at = config_.wireTime && bitRate != 0 ? start + ByteTimeUs(bitRate, i + 1) : nowUs;
    HearByte(bytes[i], bitRate, at);
  }
  if (config_.wireTime) rxLineFreeUs_ = std::max(rxLineFreeUs_, at);
  if (stats_.wrongRateBytes != before.wrongRateBytes) {
    Log(nowUs, std::to_string(stats_.wrongRateBytes - before.wrongRateBytes) + " byte(s) at " +
                   std::to_string(bitRate) + " bps are garbage: the starter listens at " +
                   std::to_string(listenRate_) + " bps");
  }
  if (stats_.busyBytes != before.busyBytes) {
    Log(nowUs, std::to_string(stats_.busyBytes - before.busyBytes) +
                   " byte(s) lost: the panel was busy with the previous request");
  }
  if (stats_.deafBytes != before.deafBytes) {
    Log(nowUs, std::to_string(stats_.deafBytes - before.deafBytes) +
                   " byte(s) unheard: the panel is in mode " + ModeName(mode_));
  }
}

void PanelModel::HearByte(std::uint8_t b, std::uint32_t bitRate, std::uint64_t atUs) {
  nowUs_ = std::max(nowUs_, atUs);
  Settle(atUs);
  if (mode_ != PanelMode::kStarter && mode_ != PanelMode::kUpdater) {
    ++stats_.deafBytes;
    parser_.Reset();
    return;
  }
  if (atUs < busyUntilUs_) {
    ++stats_.busyBytes;
    parser_.Reset();
    return;
  }
  if (bitRate != listenRate_) {
    ++stats_.wrongRateBytes;
    parser_.Reset();
    return;
  }
  // The starter reads a frame as one burst; after a pause it waits for a new start mark.
  if (atUs - lastHeardUs_ > kFrameGapUs) parser_.Reset();
  lastHeardUs_ = atUs;
  switch (parser_.Feed(b)) {
    case link::RequestParser::Result::kFrame: {
      const std::vector<std::uint8_t> request = parser_.Request();
      HandleRequest(request, bitRate, atUs);
      break;
    }
    case link::RequestParser::Result::kRejected:
      ++stats_.rejectedFrames;
      Log(atUs, "frame rejected (check bytes or stuffing wrong): no reply");
      break;
    case link::RequestParser::Result::kNeedMore:
      break;
  }
}

std::vector<OutByte> PanelModel::TakeOutput(std::uint64_t untilUs) {
  Advance(untilUs);
  std::vector<OutByte> due;
  while (!output_.empty() && output_.front().atUs <= untilUs) {
    due.push_back(output_.front());
    output_.pop_front();
  }
  return due;
}

std::optional<std::uint64_t> PanelModel::NextOutputUs() const {
  if (output_.empty()) return std::nullopt;
  return output_.front().atUs;
}

void PanelModel::DiscardOutput() {
  output_.clear();
}

void PanelModel::SetModemLines(bool dtr, bool rts, std::uint64_t atUs) {
  Advance(atUs);
  dtr_ = dtr;
  rts_ = rts;
}

bool PanelModel::Cts(std::uint64_t atUs) const {
  switch (config_.cts) {
    case CtsBehaviour::kOn:
      return mode_ != PanelMode::kOff;
    case CtsBehaviour::kOff:
      return false;
    case CtsBehaviour::kPulse:
      break;
  }
  if (!programStartUs_) return false;
  const std::uint64_t on = *programStartUs_ + config_.ctsDelayMs * 1000ull;
  const std::uint64_t off = on + config_.ctsPulseMs * 1000ull;
  return atUs >= on && atUs < off && atUs < programEndUs_;
}

void PanelModel::Advance(std::uint64_t nowUs) {
  nowUs_ = std::max(nowUs_, nowUs);
  Settle(nowUs_);
}

// ---------------------------------------------------------------------------------------
// Modes

void PanelModel::Settle(std::uint64_t atUs) {
  while (pending_ && pending_->first <= atUs) {
    const auto [when, mode] = *pending_;
    pending_.reset();
    switch (mode) {
      case PanelMode::kProgram:
        mode_ = PanelMode::kProgram;
        Log(when, "the panel program runs");
        if (config_.rearmMs != 0)
          pending_ = {when + config_.rearmMs * 1000ull, PanelMode::kStarter};
        break;
      case PanelMode::kUpdater:
        mode_ = PanelMode::kUpdater;
        listenRate_ = kPowerUpRate;
        parser_.Reset();
        Log(when, "the starter updater runs and listens at 9600 bps");
        break;
      case PanelMode::kStarter:
        if (mode_ == PanelMode::kRebuilding) InstallRebuiltStarter();
        EnterStarterMode(when, mode_ == PanelMode::kProgram
                                   ? "the program hands back to the starter"
                                   : "the starter runs");
        break;
      default:
        mode_ = mode;
        break;
    }
  }
}

void PanelModel::EnterStarterMode(std::uint64_t atUs, const char* why) {
  if (mode_ == PanelMode::kProgram || mode_ == PanelMode::kBooting) {
    programEndUs_ = std::min(programEndUs_, atUs);
  }
  mode_ = PanelMode::kStarter;
  listenRate_ = kPowerUpRate;
  connected_ = false;
  tokenLost_ = false;
  token_ = NewToken();
  rules_ = {};
  parser_.Reset();
  st_.Reset();
  Log(atUs, std::string(why) + "; listening at 9600 bps");
}

void PanelModel::InstallRebuiltStarter() {
  const std::uint8_t language = flash_.Bytes()[kStarterLanguageAddress];
  const std::vector<std::uint8_t> area =
      BuildStarterArea(config_.rebuiltStarterVersion, language, config_.seed + 1);
  std::copy(area.begin(), area.end(), flash_.Bytes().begin() + kStarterBase);
  starterVersion_ = config_.rebuiltStarterVersion;
  Log(nowUs_, "the updater has written starter " + std::to_string(starterVersion_ >> 4) + "." +
                  std::to_string(starterVersion_ & 0x0F));
}

void PanelModel::EnterStarter(std::uint64_t atUs) {
  Advance(atUs);
  if (mode_ == PanelMode::kOff) return;
  pending_.reset();
  output_.clear();
  EnterStarterMode(nowUs_, "service menu: restart into the starter");
}

void PanelModel::PowerCycle(std::uint64_t atUs) {
  Advance(atUs);
  pending_.reset();
  output_.clear();
  busyUntilUs_ = nowUs_;
  stBusyUntilUs_ = nowUs_;
  if (config_.startInProgram && ProgramRecognised(flash_.Bytes())) {
    mode_ = PanelMode::kBooting;
    programStartUs_ = nowUs_ + config_.bootMs * 1000ull;
    programEndUs_ = UINT64_MAX;
    pending_ = {*programStartUs_, PanelMode::kProgram};
    st_.Reset();
    Log(nowUs_, "power on");
    return;
  }
  EnterStarterMode(nowUs_, "power on");
}

void PanelModel::BootAfterRestart(std::uint64_t atUs) {
  const std::uint64_t ready = atUs + config_.bootMs * 1000ull;
  mode_ = PanelMode::kBooting;
  connected_ = false;
  st_.Reset();
  parser_.Reset();
  if (UpdaterInFlash(flash_.Bytes())) {
    pending_ = {ready, PanelMode::kUpdater};
    Log(atUs, "restart: a valid starter updater lies at 0x00000 and 0x60000");
  } else if (ProgramRecognised(flash_.Bytes())) {
    pending_ = {ready, PanelMode::kProgram};
    programStartUs_ = ready;
    programEndUs_ = UINT64_MAX;
    Log(atUs, "restart: the panel leaves the starter");
  } else {
    pending_ = {ready, PanelMode::kStarter};
    Log(atUs, "restart: no program with a known signature at 0x12000, the starter runs again");
  }
}

// ---------------------------------------------------------------------------------------
// Requests

void PanelModel::HandleRequest(const std::vector<std::uint8_t>& request, std::uint32_t bitRate,
                               std::uint64_t endUs) {
  ++stats_.framesHeard;
  ++seq_;
  const std::uint8_t command = request[0];
  const std::uint32_t commandCount = ++commandCounts_[command];
  const FaultPlan& faults = config_.faults;
  auto selected = [&](const std::vector<RequestSelector>& selectors) {
    return std::any_of(selectors.begin(), selectors.end(), [&](const RequestSelector& s) {
      return s.Matches(command, seq_, commandCount);
    });
  };

  ExchangeRecord record;
  record.seq = seq_;
  record.atUs = endUs;
  record.bitRate = bitRate;
  record.request = request;
  record.text = DescribeRequest(request);

  auto finish = [&](ExchangeRecord& r) {
    std::string line =
        "#" + std::to_string(r.seq) + " @" + std::to_string(r.bitRate) + " " + r.text;
    if (r.answer) {
      line += " -> " + HexByte(*r.answer);
      if (r.dataCount != 0) line += " +" + std::to_string(r.dataCount);
    } else {
      line += " -> no reply";
    }
    if (!r.note.empty()) line += " [" + r.note + "]";
    Log(r.atUs, line);
    exchanges_.push_back(std::move(r));
  };

  // A retransmitted request is judged against the link-token state before its first copy.
  if (request == lastRequest_) {
    rules_ = rulesBeforeLast_;
  } else {
    lastRequest_ = request;
    rulesBeforeLast_ = rules_;
  }

  if (faults.loseTokenAt && *faults.loseTokenAt == seq_) {
    token_ = NewToken();
    tokenLost_ = true;
    Log(endUs, "fault: the panel lost the link token");
  }
  if (faults.serviceMenuAt && *faults.serviceMenuAt == seq_) {
    pending_.reset();
    output_.clear();
    EnterStarterMode(endUs, "fault: service menu: restart into the starter");
    record.note = "fault: the panel was restarted into its starter before this request";
    finish(record);
    return;
  }
  if (faults.powerLossAt && *faults.powerLossAt == seq_) {
    PartialWrite(request);
    mode_ = PanelMode::kOff;
    pending_.reset();
    output_.clear();
    programEndUs_ = std::min(programEndUs_, endUs);
    record.note = "fault: power lost while carrying out this request";
    finish(record);
    return;
  }
  if (std::find(faults.silentRates.begin(), faults.silentRates.end(), bitRate) !=
      faults.silentRates.end()) {
    record.note = "fault: silent at this rate";
    finish(record);
    return;
  }
  if (selected(faults.dropRequest)) {
    record.note = "fault: request lost on the line";
    finish(record);
    return;
  }

  Outcome outcome =
      mode_ == PanelMode::kUpdater ? HandleUpdater(request) : HandleStarter(request, endUs);
  record.note = outcome.note;
  if (!outcome.reply) {
    busyUntilUs_ = std::max(busyUntilUs_, endUs + (config_.chipTimes ? outcome.workUs : 0));
    finish(record);
    return;
  }

  std::uint64_t delayUs = faults.replyDelayMs * 1000ull;
  for (const DelayRule& rule : faults.delayReply) {
    if (rule.which.Matches(command, seq_, commandCount)) delayUs += rule.ms * 1000ull;
  }
  const bool drop = selected(faults.dropReply) || Chance(faults.dropReplyProbability);
  const bool corrupt = selected(faults.corruptReply);
  if (selected(faults.garbleReply) && GarbleUnseen(outcome.data)) {
    outcome.note += std::string(outcome.note.empty() ? "" : "; ") +
                    "fault: reply data changed unseen by its check bytes";
  }
  ScheduleReply(outcome, bitRate, endUs, drop, corrupt, delayUs, record);
  finish(record);
}

void PanelModel::ScheduleReply(const Outcome& outcome, std::uint32_t bitRate, std::uint64_t endUs,
                               bool drop, bool corrupt, std::uint64_t delayUs,
                               ExchangeRecord& record) {
  // A reply without data of interest still carries one byte: a count of 0 would announce 256.
  static constexpr std::array<std::uint8_t, 1> kNoData = {0x00};
  const std::span<const std::uint8_t> data =
      outcome.data.empty() ? std::span<const std::uint8_t>(kNoData) : outcome.data;
  std::vector<std::uint8_t> frame = link::EncodeReplyFrame(outcome.answer, data);
  const std::uint64_t work =
      config_.chipTimes ? kTurnaroundUs + outcome.workUs + outcome.timeoutUs : 0;
  const std::uint64_t start = endUs + work + delayUs;
  std::string faultNote;
  if (corrupt) {
    frame.back() ^= 0x01;
    faultNote = "fault: reply corrupted";
  }
  if (config_.faults.corruptByteProbability > 0.0) {
    for (std::uint8_t& b : frame) {
      if (Chance(config_.faults.corruptByteProbability)) {
        b ^= static_cast<std::uint8_t>(1u << (faultRng_() % 8));
        faultNote = "fault: reply bytes corrupted";
      }
    }
  }
  if (delayUs != 0)
    faultNote += (faultNote.empty() ? "" : "; ") + std::string("fault: reply delayed ") +
                 std::to_string(delayUs / 1000) + " ms";
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const std::uint64_t at = start + ByteTimeUs(bitRate, i + 1);
    if (!drop) output_.push_back({frame[i], at, bitRate});
    busyUntilUs_ = std::max(busyUntilUs_, at);
  }
  if (drop)
    faultNote += (faultNote.empty() ? "" : "; ") + std::string("fault: reply lost on the line");
  if (!drop) {
    record.answer = outcome.answer;
    record.dataCount = data.size();
  }
  if (!faultNote.empty()) record.note += (record.note.empty() ? "" : "; ") + faultNote;

  const std::uint64_t replyEnd = busyUntilUs_;
  switch (outcome.after) {
    case After::kRestart:
      BootAfterRestart(replyEnd);
      break;
    case After::kRebuild: {
      mode_ = PanelMode::kRebuilding;
      const std::uint64_t rebuildUs =
          config_.chipTimes ? kRebuildOverheadUs + flash_.SectorEraseUs() +
                                  std::uint64_t{kStarterSize / kPageSize} * flash_.PageProgramUs()
                            : 0;
      pending_ = {replyEnd + rebuildUs, PanelMode::kStarter};
      Log(replyEnd, "the updater rebuilds the starter");
      break;
    }
    case After::kNone:
      break;
  }
}

PanelModel::Outcome PanelModel::Refuse(std::uint8_t answer, std::string why, bool violation) {
  if (violation) AddViolation(why);
  Outcome outcome;
  outcome.answer = answer;
  outcome.note = std::move(why);
  return outcome;
}

PanelModel::Outcome PanelModel::HandleUpdater(const std::vector<std::uint8_t>& r) {
  if (!Is(r, kRunUpdateRequest)) {
    Outcome silent;
    silent.reply = false;
    silent.note = "the updater answers only its update request";
    return silent;
  }
  Outcome outcome;
  outcome.answer = kAnswerDone;
  outcome.after = After::kRebuild;
  return outcome;
}

PanelModel::Outcome PanelModel::HandleStarter(const std::vector<std::uint8_t>& r,
                                              std::uint64_t endUs) {
  const std::uint8_t c = r[0];
  if (!connected_ && c != kCmdConnect) {
    Outcome silent;
    silent.reply = false;
    silent.note = "not connected: the starter waits for the connect request";
    return silent;
  }
  switch (c) {
    case kCmdConnect:
      return Connect(r);
    case kCmdFastRate:
      return FastRate(r);
    case kCmdIdentify:
      return Identify(r);
    case kCmdSetToken:
      return SetToken(r);
    case kCmdCheckToken:
      return CheckToken(r);
    case kCmdRestart:
      return Restart(r);
    case kCmdKeypad:
      return KeypadRequest(r, endUs);
    case kCmdRunUpdate:
      return Refuse(kAnswerUnknown, "the starter does not run the update request", false);
    case kCmdReadFlash:
      return ReadFlash(r);
    case kCmdBlockCheck:
      return BlockCheckRequest(r);
    case kCmdReadSettings:
      return ReadSettings(r);
    case kCmdWriteSettings:
      return WriteSettings(r);
    case kCmdWriteSettingsByte:
      return WriteSettingsByte(r);
    case kCmdSt:
      return StPassThrough(r, endUs);
    default:
      break;
  }
  if (IsFlashWrite(c)) return FlashWrite(r);
  return Refuse(kAnswerUnknown, "unknown request " + HexByte(c));
}

PanelModel::Outcome PanelModel::Connect(const std::vector<std::uint8_t>& r) {
  if (!Is(r, kConnectRequest)) return Refuse(kAnswerError, "malformed connect request");
  Outcome outcome;
  outcome.answer = kAnswerData;
  if (refusalsLeft_ > 0) {
    --refusalsLeft_;
    outcome.data = {config_.faults.refuseCode};
    outcome.note = "fault: connection refused";
    return outcome;
  }
  connected_ = true;
  rules_ = {};
  outcome.data = {0x00};
  return outcome;
}

PanelModel::Outcome PanelModel::FastRate(const std::vector<std::uint8_t>& r) {
  if (!Is(r, kFastRateRequest)) return Refuse(kAnswerError, "malformed fast-rate request");
  if (config_.fastRate != 115200 && config_.fastRate != 57600) {
    return Refuse(kAnswerUnknown, "this starter has no fast rate", false);
  }
  Outcome outcome;
  outcome.answer = kAnswerData;
  outcome.data = {static_cast<std::uint8_t>(config_.fastRate == 115200 ? 0 : 1)};
  outcome.note = "listening at " + std::to_string(config_.fastRate) + " bps after this reply";
  // The reply still leaves at the old rate; nothing is heard before it has gone.
  listenRate_ = config_.fastRate;
  return outcome;
}

PanelModel::Outcome PanelModel::Identify(const std::vector<std::uint8_t>& r) {
  if (!Is(r, std::array<std::uint8_t, 4>{0x61, 0x61, 0x61, 0x61})) {
    return Refuse(kAnswerError, "malformed identification request");
  }
  Outcome outcome;
  if (config_.faults.identifyAnswer) {
    outcome.answer = *config_.faults.identifyAnswer;
    outcome.note = "fault: identification answered with " + HexByte(outcome.answer);
    return outcome;
  }
  outcome.answer = kAnswerData;
  outcome.data = {config_.flashKind, config_.panelType, starterVersion_};
  return outcome;
}

PanelModel::Outcome PanelModel::SetToken(const std::vector<std::uint8_t>& r) {
  if (starterVersion_ < kFirstTokenVersion) {
    return Refuse(kAnswerUnknown, "link token request to a starter older than 5.2");
  }
  if (r.size() != 5) return Refuse(kAnswerError, "malformed set-token request");
  std::copy(r.begin() + 1, r.end(), token_.begin());
  tokenLost_ = false;
  return Outcome{};
}

PanelModel::Outcome PanelModel::CheckToken(const std::vector<std::uint8_t>& r) {
  if (starterVersion_ < kFirstTokenVersion) {
    return Refuse(kAnswerUnknown, "link token request to a starter older than 5.2");
  }
  if (!Is(r, std::array<std::uint8_t, 4>{0x1F, 0x1F, 0x1F, 0x1F})) {
    return Refuse(kAnswerError, "malformed check-token request");
  }
  rules_.checkedSinceConnect = true;
  rules_.fresh = true;
  rules_.programsSinceCheck = 0;
  Outcome outcome;
  outcome.answer = kAnswerData;
  outcome.data.assign(token_.begin(), token_.end());
  return outcome;
}

PanelModel::Outcome PanelModel::Restart(const std::vector<std::uint8_t>& r) {
  if (!Is(r, kRestartRequest)) return Refuse(kAnswerError, "malformed restart request");
  Outcome outcome;
  outcome.answer = kAnswerDone;
  outcome.after = After::kRestart;
  return outcome;
}

PanelModel::Outcome PanelModel::KeypadRequest(const std::vector<std::uint8_t>& r,
                                              std::uint64_t endUs) {
  KeypadText text;
  text.seq = seq_;
  text.atUs = endUs;
  const std::size_t n = r.size();
  if (n == 36 && r[1] == 0x22 && (r[2] == 0x73 || r[2] == 0x74) && r[3] == 0xFF) {
    text.title = r[2] == 0x73;
    text.line1 = Padded16(std::span(r).subspan(4, 16));
    text.line2 = Padded16(std::span(r).subspan(20, 16));
  } else if (n == 19 && r[1] == 0x11 && (r[2] == 0x7C || r[2] == 0x7D)) {
    (r[2] == 0x7C ? text.line1 : text.line2) = Padded16(std::span(r).subspan(3, 16));
    text.title = keypad_.title;
  } else if (n == 4 && r[1] == 0x02 && r[2] == 0x72 && r[3] == 0x66) {
    text.cleared = true;
  } else {
    return Refuse(kAnswerError, "malformed keypad request");
  }
  if (text.cleared) {
    keypad_ = {};
  } else {
    if (text.line1) keypad_.line1 = *text.line1;
    if (text.line2) keypad_.line2 = *text.line2;
    keypad_.title = text.title;
  }
  keypadHistory_.push_back(std::move(text));
  return Outcome{};
}

PanelModel::Outcome PanelModel::ReadFlash(const std::vector<std::uint8_t>& r) {
  if (r.size() != 5) return Refuse(kAnswerError, "malformed FLASH read");
  const std::uint32_t address = Address24(r);
  const std::uint32_t count = r[4] == 0 ? 256 : r[4];
  if (address + count > kFlashSize) return Refuse(kAnswerError, "FLASH read past the end");
  Outcome outcome;
  outcome.answer = kAnswerData;
  outcome.data.assign(flash_.Bytes().begin() + address, flash_.Bytes().begin() + address + count);
  outcome.workUs = kReadByteUs * count;
  return outcome;
}

PanelModel::Outcome PanelModel::BlockCheckRequest(const std::vector<std::uint8_t>& r) {
  if (r.size() != 7) return Refuse(kAnswerError, "malformed block check");
  const std::uint32_t address = Address24(r);
  const std::uint32_t length = r[4] | r[5] << 8 | r[6] << 16;
  if (length == 0 || address >= kFlashSize || length > kFlashSize - address) {
    return Refuse(kAnswerError, "block check outside the FLASH");
  }
  const firmware::BlockCheckValues values =
      firmware::BlockCheck(flash_.Bytes().subspan(address, length));
  Outcome outcome;
  outcome.answer = kAnswerData;
  outcome.data = {static_cast<std::uint8_t>(values.sum), static_cast<std::uint8_t>(values.sum >> 8),
                  values.xorValue, values.chain};
  outcome.workUs = kReadByteUs * length;
  return outcome;
}

PanelModel::Outcome PanelModel::FlashWrite(const std::vector<std::uint8_t>& r) {
  const std::uint8_t c = r[0];
  const std::uint8_t own = CommandVariant(starterVersion_);
  if ((c >> 4) != own) {
    return Refuse(kAnswerUnknown, "command " + HexByte(c) + " is not this starter's variant (" +
                                      HexByte(static_cast<std::uint8_t>(own << 4 | (c & 0x0F))) +
                                      " for version " + HexByte(starterVersion_) + ")");
  }
  if (config_.faults.refuseWritesFrom && seq_ >= *config_.faults.refuseWritesFrom) {
    return Refuse(kAnswerError, "fault: FLASH write refused", false);
  }
  switch (c & 0x0F) {
    case kEraseNibble:
      return Erase(r);
    case kProgramNibble:
      return ProgramFull(r);
    default:
      return ProgramShort(r);
  }
}

std::optional<PanelModel::Outcome> PanelModel::TokenGuard(bool erase) {
  if (starterVersion_ < kFirstTokenVersion) return std::nullopt;
  std::string why;
  if (tokenLost_) {
    why = "FLASH write while the panel does not hold the token last stored";
  } else if (!rules_.checkedSinceConnect) {
    why = "FLASH write without a link token check since the connection";
  } else if (erase && !rules_.fresh) {
    why = "erase without a link token check just before it";
  } else if (!erase && rules_.programsSinceCheck >= kMaxProgramsPerTokenCheck) {
    why = "more than " + std::to_string(kMaxProgramsPerTokenCheck) +
          " page programs without a link token check";
  }
  rules_.fresh = false;
  if (!erase) ++rules_.programsSinceCheck;
  if (why.empty()) return std::nullopt;
  AddViolation(why);
  if (!config_.strict) return std::nullopt;
  return Refuse(kAnswerError, why, false);
}

PanelModel::Outcome PanelModel::Erase(const std::vector<std::uint8_t>& r) {
  if (r.size() != 4 || r[2] != 0x66 || r[3] != 0x66)
    return Refuse(kAnswerError, "malformed erase request");
  const std::uint32_t sector = r[1];
  if (sector >= kSectorCount) return Refuse(kAnswerError, "no sector " + std::to_string(sector));
  if (sector == kStarterSector)
    return Refuse(kAnswerError, "the starter does not erase its own sector");
  if (auto refused = TokenGuard(true)) return *refused;
  flash_.EraseSector(sector);
  Outcome outcome;
  outcome.answer = kAnswerDone;
  outcome.workUs = flash_.SectorEraseUs();
  return outcome;
}

PanelModel::Outcome PanelModel::ProgramFull(const std::vector<std::uint8_t>& r) {
  if (r.size() != 3 + kPageSize) return Refuse(kAnswerError, "malformed page program");
  const std::uint32_t address = r[1] << 8 | r[2] << 16;
  if (address >= kStarterBase)
    return Refuse(kAnswerError, "the starter does not program its own sector");
  if (auto refused = TokenGuard(false)) return *refused;
  return ProgramPage(address, std::span(r).subspan(3), "programmed");
}

PanelModel::Outcome PanelModel::ProgramShort(const std::vector<std::uint8_t>& r) {
  if (starterVersion_ < kFirstShortFormVersion) {
    return Refuse(kAnswerUnknown, "short page program to a starter older than 2.1");
  }
  if (r.size() != 5 || r[3] != r[1] || r[4] != 0x00)
    return Refuse(kAnswerError, "malformed short page program");
  const std::uint32_t address = r[1] << 8 | r[2] << 16;
  const std::uint32_t offset = address % kSectorSize;
  if (address < kSectorSize || offset >= kShortFormLimit || address >= kStarterBase) {
    return Refuse(kAnswerError, "short page program outside the low 8 KB of banks 1..6");
  }
  std::array<std::uint8_t, kPageSize> page{};
  std::copy_n(flash_.Bytes().begin() + offset, kPageSize, page.begin());
  return ProgramPage(address, page, "copied");
}

PanelModel::Outcome PanelModel::ProgramPage(std::uint32_t address,
                                            std::span<const std::uint8_t> page, const char* how) {
  Outcome outcome;
  outcome.workUs = flash_.PageProgramUs();
  if (!flash_.Program(address, page)) {
    outcome.answer = kAnswerError;
    outcome.note = "read-back differs: the page was not erased";
    AddViolation("page " + HexAddress(address) + " " + how + " over bytes that were not erased");
    return outcome;
  }
  outcome.answer = kAnswerData;
  outcome.data = {0x00};
  return outcome;
}

PanelModel::Outcome PanelModel::ReadSettings(const std::vector<std::uint8_t>& r) {
  if (r.size() != 4 || (r[3] != 1 && r[3] != 2))
    return Refuse(kAnswerError, "malformed settings read");
  const std::vector<std::uint8_t>& area = settings_[r[3] - 1];
  const std::uint32_t address = r[1] | r[2] << 8;
  Outcome outcome;
  outcome.answer = kAnswerData;
  for (std::uint32_t i = 0; i < kSettingsBlock; ++i) {
    outcome.data.push_back(area[(address + i) % kSettingsAreaSize]);
  }
  outcome.workUs = kSettingsReadUs;
  return outcome;
}

PanelModel::Outcome PanelModel::WriteSettings(const std::vector<std::uint8_t>& r) {
  if (r.size() != 4 + kSettingsBlock || (r[3] != 1 && r[3] != 2)) {
    return Refuse(kAnswerError, "malformed settings write");
  }
  std::vector<std::uint8_t>& area = settings_[r[3] - 1];
  const std::uint32_t address = r[1] | r[2] << 8;
  for (std::uint32_t i = 0; i < kSettingsBlock; ++i)
    area[(address + i) % kSettingsAreaSize] = r[4 + i];
  Outcome outcome;
  outcome.workUs = kSettingsWriteUs;
  return outcome;
}

PanelModel::Outcome PanelModel::WriteSettingsByte(const std::vector<std::uint8_t>& r) {
  if (r.size() != 5 || (r[3] != 1 && r[3] != 2))
    return Refuse(kAnswerError, "malformed settings byte write");
  settings_[r[3] - 1][r[1] | r[2] << 8] = r[4];
  Outcome outcome;
  outcome.workUs = kSettingsWriteUs;
  return outcome;
}

PanelModel::Outcome PanelModel::StPassThrough(const std::vector<std::uint8_t>& r,
                                              std::uint64_t endUs) {
  if (r.size() < 4 || r[3] != r.size() - 4)
    return Refuse(kAnswerError, "malformed ST pass-through request");
  const std::uint8_t wait = r[1];
  const std::size_t expected = r[2];
  const std::uint64_t timeoutUs = wait * 1'000'000ull;
  Outcome outcome;
  StController::Answer answer;
  if (config_.chipTimes && stBusyUntilUs_ > endUs) {
    answer.note = "the ST is still busy with its previous command";
  } else {
    answer = st_.Execute(std::span(r).subspan(4));
    if (config_.chipTimes) stBusyUntilUs_ = endUs + answer.workUs;
  }
  outcome.note = answer.note;
  const bool late = config_.chipTimes && answer.workUs > timeoutUs;
  if (answer.bytes.empty() || expected == 0 || late) {
    // The starter gives up when the wait has passed.
    outcome.answer = kAnswerError;
    outcome.timeoutUs = timeoutUs;
    if (late) outcome.note = "the ST took longer than the wait";
    return outcome;
  }
  outcome.answer = kAnswerData;
  const std::size_t n = std::min(expected, answer.bytes.size());
  outcome.data.assign(answer.bytes.begin(), answer.bytes.begin() + static_cast<std::ptrdiff_t>(n));
  if (n < expected) {
    // Fewer bytes than asked for: the starter sends what it has when the wait has passed.
    outcome.timeoutUs = timeoutUs;
    outcome.note += (outcome.note.empty() ? "" : "; ") +
                    std::string("the ST answered fewer bytes than expected");
  } else {
    outcome.workUs = answer.workUs;
  }
  return outcome;
}

void PanelModel::PartialWrite(const std::vector<std::uint8_t>& r) {
  if (mode_ != PanelMode::kStarter || !connected_) return;
  const std::uint8_t c = r[0];
  if (IsFlashWrite(c) && (c >> 4) == CommandVariant(starterVersion_)) {
    if ((c & 0x0F) == kEraseNibble && r.size() == 4 && r[1] < kStarterSector) {
      flash_.EraseSector(r[1], kSectorSize / 2);
    } else if ((c & 0x0F) == kProgramNibble && r.size() == 3 + kPageSize) {
      const std::uint32_t address = r[1] << 8 | r[2] << 16;
      if (address < kStarterBase) flash_.Program(address, std::span(r).subspan(3, kPageSize / 2));
    }
  } else if (c == kCmdWriteSettings && r.size() == 4 + kSettingsBlock && (r[3] == 1 || r[3] == 2)) {
    const std::uint32_t address = r[1] | r[2] << 8;
    for (std::uint32_t i = 0; i < kSettingsBlock / 2; ++i) {
      settings_[r[3] - 1][(address + i) % kSettingsAreaSize] = r[4 + i];
    }
  }
}

}  // namespace korvex::sim
