#include "sim/st_controller.h"

#include <algorithm>
#include <cstdio>

namespace korvex::sim {

namespace {

// Answer bytes of the ST's commands (command byte + 0x10).
constexpr std::uint8_t kCmdErase = 0x12;
constexpr std::uint8_t kCmdBlankCheck = 0x13;
constexpr std::uint8_t kCmdProgram = 0x14;
constexpr std::uint8_t kCmdBlockCheck = 0x15;
constexpr std::uint8_t kCmdStarterVersion = 0x16;
constexpr std::uint8_t kCmdUnlock = 0x17;
constexpr std::uint8_t kCmdProgramVersion = 0x18;
constexpr std::uint8_t kCmdRead = 0x19;
constexpr std::uint8_t kCmdSession = 0x1A;
constexpr std::uint8_t kCmdWriteOptionsB = 0x1B;
constexpr std::uint8_t kCmdProtect = 0x1C;
constexpr std::uint8_t kCmdReadOptions = 0x1D;
constexpr std::uint8_t kCmdWriteOptionsC = 0x1F;
constexpr std::uint8_t kEraseKey = 0xAA;
constexpr std::uint8_t kSessionOpen = 0xFF;
constexpr std::uint8_t kSessionClose = 0x00;

constexpr std::uint32_t kShortCommandUs = 1'000;
constexpr std::uint32_t kBlockCheckUs = 2'000;

std::uint8_t AnswerOf(std::uint8_t command) {
  return static_cast<std::uint8_t>(command + 0x10);
}

StController::Answer Silent(const char* why) {
  return {{}, 0, why};
}

}  // namespace

std::optional<StKindInfo> StKindInfoFor(StKind kind) {
  switch (kind) {
    case StKind::kA:
      return StKindInfo{0x1000, 0xE000, 0xF000,    0xFF,  2,     0xDFB0,
                        0xDF84, 0,      1'500'000, 5'000, 60'000};
    case StKind::kB:
      return StKindInfo{0x8A00,  0x1F600, 0x1F600,   0x00,  3,      0x1F5D0,
                        0x1F5A4, 14,      3'012'000, 6'000, 120'000};
    case StKind::kC:
      return StKindInfo{0x8A00,       0x7600, 0x7600,  0x00,  3,     0x75D0,
                        std::nullopt, 6,      708'000, 6'000, 30'000};
    case StKind::kNone:
      break;
  }
  return std::nullopt;
}

StKind StKindForPanelType(int panelType) {
  switch (panelType) {
    case 4:
      return StKind::kA;
    case 5:
      return StKind::kB;
    case 6:
    case 7:
    case 8:
      return StKind::kC;
    default:
      return StKind::kNone;
  }
}

std::uint16_t StBlockCheck(std::span<const std::uint8_t> block) {
  std::uint16_t s = 0;
  for (std::uint8_t b : block) {
    s = static_cast<std::uint16_t>(s + static_cast<std::uint8_t>(b + 13));
    s = static_cast<std::uint16_t>((s << 1) | (s >> 15));
    s = static_cast<std::uint16_t>(s ^ 0x00FF);
  }
  return s;
}

std::optional<StVersionBytes> ParseStVersion(const std::string& text) {
  unsigned major = 0, minor = 0, year = 0, month = 0, day = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%1u.%2u %4u-%2u-%2u%c", &major, &minor, &year, &month, &day,
                  &tail) != 5) {
    return std::nullopt;
  }
  auto bcd = [](unsigned v) { return static_cast<std::uint8_t>((v / 10 % 10) << 4 | v % 10); };
  return StVersionBytes{static_cast<std::uint8_t>(major),
                        bcd(minor),
                        bcd(year / 100),
                        bcd(year % 100),
                        bcd(month),
                        bcd(day)};
}

std::string StVersionText(const StVersionBytes& v) {
  auto pair = [](std::uint8_t x) {
    return std::string{static_cast<char>(0x30 + x / 16), static_cast<char>(0x30 + x % 16)};
  };
  return std::string(1, static_cast<char>(0x30 + v[0] % 16)) + "." + pair(v[1]) + " " + pair(v[2]) +
         pair(v[3]) + "-" + pair(v[4]) + "-" + pair(v[5]);
}

StController::StController(StState state)
    : state_(std::move(state)), info_(StKindInfoFor(state_.kind)) {
  if (!info_) return;
  state_.memory.resize(info_->length, info_->erased);
  state_.options.resize(info_->optionCount, 0x00);
}

void StController::Reset() {
  unlocked_ = false;
  session_ = false;
}

StVersionBytes StController::ProgramVersion() const {
  if (state_.programVersion) return *state_.programVersion;
  StVersionBytes v{};
  if (!info_) return v;
  const std::uint8_t* p = state_.memory.data() + info_->versionOffset;
  v[0] = p[0];
  v[1] = static_cast<std::uint8_t>((p[1] << 4) | (p[2] & 0x0F));
  for (int k = 0; k < 4; ++k) v[2 + k] = p[3 + k];
  return v;
}

std::optional<std::uint32_t> StController::Address(std::span<const std::uint8_t> command) const {
  if (command.size() < 1 + info_->addressBytes) return std::nullopt;
  if (info_->addressBytes == 2) return command[1] | command[2] << 8;
  return command[1] << 16 | command[2] << 8 | command[3];
}

StController::Answer StController::Execute(std::span<const std::uint8_t> command) {
  if (!info_) return Silent("no ST controller in this panel");
  if (command.empty()) return Silent("empty ST command");
  switch (command[0]) {
    case kCmdStarterVersion:
      if (command.size() != 1) break;
      return Version(AnswerOf(kCmdStarterVersion), state_.starterVersion);
    case kCmdProgramVersion:
      if (command.size() != 1) break;
      return Version(AnswerOf(kCmdProgramVersion), ProgramVersion());
    case kCmdRead:
      return Read(command);
    case kCmdBlockCheck:
      return BlockCheck(command);
    case kCmdUnlock:
      return Unlock(command);
    case kCmdSession:
      if (info_->optionCount != 0) break;  // kind A only
      return Session(command);
    case kCmdReadOptions:
      return ReadOptions(command);
    case kCmdProtect:
      return Protect(command);
    case kCmdWriteOptionsB:
    case kCmdWriteOptionsC:
      return WriteOptions(command);
    case kCmdErase:
      return Erase(command);
    case kCmdBlankCheck:
      return BlankCheck(command);
    case kCmdProgram:
      return Program(command);
    default:
      break;
  }
  return Silent("the ST does not know this command");
}

StController::Answer StController::Version(std::uint8_t answer, const StVersionBytes& v) const {
  Answer a;
  a.bytes.reserve(2 + v.size());
  a.bytes.push_back(answer);
  a.bytes.insert(a.bytes.end(), v.begin(), v.end());
  // The eighth byte closes the record: the sum of the six version bytes.
  std::uint8_t sum = 0;
  for (std::uint8_t b : v) sum = static_cast<std::uint8_t>(sum + b);
  a.bytes.push_back(sum);
  a.workUs = kShortCommandUs;
  return a;
}

StController::Answer StController::Read(std::span<const std::uint8_t> command) const {
  if (command.size() != 1 + info_->addressBytes) return Silent("malformed ST read");
  const std::uint32_t address = *Address(command);
  Answer a;
  a.bytes.assign(command.begin(), command.end());
  a.bytes[0] = AnswerOf(kCmdRead);
  // Addresses outside the program memory read as erased (the FSK read of kind B runs 32
  // bytes past its end).
  for (std::uint32_t i = 0; i < kStBlockSize; ++i) {
    const std::uint32_t at = address + i;
    const bool mapped = at >= info_->start && at < info_->start + info_->length;
    a.bytes.push_back(mapped ? state_.memory[at - info_->start] : info_->erased);
  }
  a.workUs = kShortCommandUs;
  return a;
}

StController::Answer StController::BlockCheck(std::span<const std::uint8_t> command) const {
  if (command.size() != 1 + info_->addressBytes) return Silent("malformed ST block check");
  const std::uint32_t address = *Address(command);
  if (address < info_->start || address + kStBlockSize > info_->start + info_->length) {
    return Silent("ST block check outside the memory");
  }
  const std::uint16_t s = StBlockCheck(
      std::span<const std::uint8_t>(state_.memory).subspan(address - info_->start, kStBlockSize));
  return {
      {AnswerOf(kCmdBlockCheck), static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(s >> 8)},
      kBlockCheckUs,
      {}};
}

StController::Answer StController::Unlock(std::span<const std::uint8_t> command) {
  if (command.size() != 1 + kStUnlockCode.size()) return Silent("malformed ST unlock");
  unlocked_ = std::equal(kStUnlockCode.begin(), kStUnlockCode.end(), command.begin() + 1);
  if (!unlocked_) return {{AnswerOf(kCmdUnlock), 0x01}, kShortCommandUs, "wrong ST unlock code"};
  return {{AnswerOf(kCmdUnlock), 0x00}, kShortCommandUs, {}};
}

std::optional<StController::Answer> StController::Guard(std::uint8_t answer, bool twoByteStatus,
                                                        bool needsSession) const {
  const char* why = nullptr;
  if (!unlocked_) {
    why = "the ST is not unlocked";
  } else if (needsSession && info_->optionCount == 0 && !session_) {
    why = "the ST programming session is not open (0x1A 0xFF)";
  }
  if (why == nullptr) return std::nullopt;
  Answer a;
  a.bytes = twoByteStatus ? std::vector<std::uint8_t>{answer, 0x01}
                          : std::vector<std::uint8_t>{kStRefusal};
  a.workUs = kShortCommandUs;
  a.note = why;
  return a;
}

StController::Answer StController::Session(std::span<const std::uint8_t> command) {
  if (command.size() != 2) return Silent("malformed ST session request");
  if (auto refused = Guard(AnswerOf(kCmdSession), false, false)) return *refused;
  if (command[1] == kSessionOpen) {
    session_ = true;
  } else if (command[1] == kSessionClose) {
    session_ = false;
  } else {
    return {{kStRefusal}, kShortCommandUs, "unknown ST session parameter"};
  }
  return {{AnswerOf(kCmdSession)}, kShortCommandUs, {}};
}

StController::Answer StController::ReadOptions(std::span<const std::uint8_t> command) const {
  if (info_->optionCount == 0) return Silent("this ST kind has no option bytes");
  if (command.size() != 1) return Silent("malformed ST option read");
  Answer a;
  a.bytes.reserve(2 + state_.options.size());
  a.bytes.push_back(AnswerOf(kCmdReadOptions));
  a.bytes.push_back(state_.protection);
  a.bytes.insert(a.bytes.end(), state_.options.begin(), state_.options.end());
  a.workUs = kShortCommandUs;
  return a;
}

StController::Answer StController::Protect(std::span<const std::uint8_t> command) {
  if (info_->optionCount == 0) return Silent("this ST kind has no protection byte");
  if (command.size() != 2) return Silent("malformed ST protection request");
  if (auto refused = Guard(AnswerOf(kCmdProtect), false, false)) return *refused;
  state_.protection = command[1];
  return {{AnswerOf(kCmdProtect)}, kShortCommandUs, {}};
}

StController::Answer StController::WriteOptions(std::span<const std::uint8_t> command) {
  // Kind B writes its 14 option bytes with 0x1B, kind C its 6 with 0x1F.
  const std::uint8_t own = info_->optionCount == 14  ? kCmdWriteOptionsB
                           : info_->optionCount == 6 ? kCmdWriteOptionsC
                                                     : 0;
  if (command[0] != own) return Silent("option write of another ST kind");
  if (command.size() != 1 + info_->optionCount) return Silent("malformed ST option write");
  if (auto refused = Guard(AnswerOf(own), false, false)) return *refused;
  if (state_.optionsLocked) return {{AnswerOf(own)}, 10'000, "the ST's option bytes are locked"};
  state_.options.assign(command.begin() + 1, command.end());
  return {{AnswerOf(own)}, 10'000, {}};
}

StController::Answer StController::Erase(std::span<const std::uint8_t> command) {
  if (command.size() != 2) return Silent("malformed ST erase");
  if (auto refused = Guard(AnswerOf(kCmdErase), true, true)) return *refused;
  if (command[1] != kEraseKey)
    return {{AnswerOf(kCmdErase), 0x01}, kShortCommandUs, "wrong ST erase key"};
  std::fill_n(state_.memory.begin(), info_->count, info_->erased);
  return {{AnswerOf(kCmdErase), 0x00}, info_->eraseUs, {}};
}

StController::Answer StController::BlankCheck(std::span<const std::uint8_t> command) const {
  if (command.size() != 1) return Silent("malformed ST blank check");
  const auto end = state_.memory.begin() + info_->count;
  const bool blank =
      std::all_of(state_.memory.begin(), end, [&](std::uint8_t b) { return b == info_->erased; });
  return {{AnswerOf(kCmdBlankCheck), static_cast<std::uint8_t>(blank ? 0x00 : 0x01)},
          info_->blankCheckUs,
          blank ? "" : "the ST memory is not blank"};
}

StController::Answer StController::Program(std::span<const std::uint8_t> command) {
  if (command.size() != 1 + info_->addressBytes + kStBlockSize)
    return Silent("malformed ST program");
  if (auto refused = Guard(AnswerOf(kCmdProgram), true, true)) return *refused;
  const std::uint32_t address = *Address(command);
  if (address < info_->start || address + kStBlockSize > info_->start + info_->count ||
      address % kStBlockSize != 0) {
    return {{AnswerOf(kCmdProgram), 0x01}, kShortCommandUs, "ST program address refused"};
  }
  const auto data = command.subspan(1 + info_->addressBytes);
  std::uint8_t* cell = state_.memory.data() + (address - info_->start);
  bool exact = true;
  for (std::size_t i = 0; i < kStBlockSize; ++i) {
    // Programming moves bits away from the erased value only.
    cell[i] = info_->erased == 0xFF ? static_cast<std::uint8_t>(cell[i] & data[i])
                                    : static_cast<std::uint8_t>(cell[i] | data[i]);
    exact = exact && cell[i] == data[i];
  }
  if (!exact)
    return {{AnswerOf(kCmdProgram), 0x01}, info_->blockProgramUs, "ST block was not erased"};
  // The weak cell takes the value (the ST's own read-back passes) and loses it afterwards.
  if (state_.weakCell && *state_.weakCell >= address && *state_.weakCell < address + kStBlockSize) {
    cell[*state_.weakCell - address] = info_->erased;
    return {
        {AnswerOf(kCmdProgram), 0x00}, info_->blockProgramUs, "the ST's weak cell lost its value"};
  }
  return {{AnswerOf(kCmdProgram), 0x00}, info_->blockProgramUs, {}};
}

}  // namespace korvex::sim
