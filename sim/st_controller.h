// The panel's secondary ST controller as the starter's pass-through request reaches it: its
// own starter answers version, read, block-check, unlock, option, erase, blank-check and
// programming commands for the program memory of its kind (A, B or C).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"

namespace korvex::sim {

using StKind = firmware::StSectionKind;

inline constexpr std::size_t kStBlockSize = 128;
inline constexpr std::array<std::uint8_t, 4> kStUnlockCode = {0x3B, 0xC1, 0x09, 0xE4};
// Answer to a command the ST refuses when a one-byte acknowledgement was due.
inline constexpr std::uint8_t kStRefusal = 0x7F;

struct StKindInfo {
  std::uint32_t start;                     // ST address of memory byte 0
  std::uint32_t count;                     // bytes erased, blank-checked and programmed
  std::uint32_t length;                    // bytes of memory (the section of a firmware file)
  std::uint8_t erased;                     // value of an erased byte
  std::size_t addressBytes;                // 2: low byte first; 3: high byte first
  std::uint32_t versionOffset;             // the program's version bytes in memory
  std::optional<std::uint32_t> fskOffset;  // FSK plus and minus bytes in memory
  std::size_t optionCount;                 // option bytes (0: none)
  std::uint32_t eraseUs;
  std::uint32_t blockProgramUs;
  std::uint32_t blankCheckUs;
};

std::optional<StKindInfo> StKindInfoFor(StKind kind);
// The kind a panel type carries: A for 4, B for 5, C for 6..8, none otherwise.
StKind StKindForPanelType(int panelType);

// The ST's 16-bit check of a 128-byte block.
std::uint16_t StBlockCheck(std::span<const std::uint8_t> block);

// Version bytes as the ST reports them after its answer byte: major, minor (two digits in
// one byte), year (two bytes of two digits), month, day. 0x01 0x05 0x20 0x19 0x04 0x01 is
// 1.05 2019-04-01.
using StVersionBytes = std::array<std::uint8_t, 6>;
// Parses "1.05 2019-04-01"; nullopt for another form.
std::optional<StVersionBytes> ParseStVersion(const std::string& text);
std::string StVersionText(const StVersionBytes& bytes);

struct StState {
  StKind kind = StKind::kNone;
  std::vector<std::uint8_t> memory;   // StKindInfo::length bytes
  std::vector<std::uint8_t> options;  // StKindInfo::optionCount bytes
  std::uint8_t protection = 0x00;     // 0xAA once protected
  StVersionBytes starterVersion = {0x01, 0x03, 0x20, 0x18, 0x06, 0x15};
  // When set, the program version the ST reports whatever its memory holds.
  std::optional<StVersionBytes> programVersion;
  // Worn hardware: option bytes that acknowledge writes but keep their old values, and one
  // memory cell (by ST address) that accepts programming and then loses its value, so that
  // the block reads back with another check.
  bool optionsLocked = false;
  std::optional<std::uint32_t> weakCell;
};

class StController {
 public:
  struct Answer {
    std::vector<std::uint8_t> bytes;  // empty: the ST says nothing
    std::uint64_t workUs = 0;         // how long the ST takes before it answers
    std::string note;                 // why a command was refused, for the log
  };

  explicit StController(StState state);

  // Carries out one command as the starter passes it on.
  Answer Execute(std::span<const std::uint8_t> command);
  // The ST is reset with the panel: it forgets the unlock and the programming session.
  void Reset();

  const StState& State() const { return state_; }
  StState& MutableState() { return state_; }
  bool Present() const { return info_.has_value(); }
  // The program version as the ST reports it now.
  StVersionBytes ProgramVersion() const;

 private:
  std::optional<std::uint32_t> Address(std::span<const std::uint8_t> command) const;
  Answer Version(std::uint8_t answer, const StVersionBytes& v) const;
  Answer Read(std::span<const std::uint8_t> command) const;
  Answer BlockCheck(std::span<const std::uint8_t> command) const;
  Answer Unlock(std::span<const std::uint8_t> command);
  Answer Session(std::span<const std::uint8_t> command);
  Answer ReadOptions(std::span<const std::uint8_t> command) const;
  Answer Protect(std::span<const std::uint8_t> command);
  Answer WriteOptions(std::span<const std::uint8_t> command);
  Answer Erase(std::span<const std::uint8_t> command);
  Answer BlankCheck(std::span<const std::uint8_t> command) const;
  Answer Program(std::span<const std::uint8_t> command);
  // Refusal of a command that needs the unlock (and, on kind A, the programming session).
  std::optional<Answer> Guard(std::uint8_t answer, bool twoByteStatus, bool needsSession) const;

  StState state_;
  std::optional<StKindInfo> info_;
  bool unlocked_ = false;
  bool session_ = false;  // kind A: between 0x1A 0xFF and 0x1A 0x00
};

}  // namespace korvex::sim
