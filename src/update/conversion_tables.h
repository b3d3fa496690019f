// The settings memory addresses that the table-driven settings conversions work on, per panel
// type, held as data: a conversion step looks up its row for the connected panel and runs the
// same code for every type. Areas are the settings areas 1 and 2; every address is a 16-bit
// settings address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace korvex::update {

inline constexpr std::uint8_t kSettingsArea1 = 1;
inline constexpr std::uint8_t kSettingsArea2 = 2;

// Zero bytes written plainly (no block check) to area 1 when a program from 1.12 on replaces
// an older one.
struct ClearedFieldsTable {
  std::uint16_t address;
  std::uint16_t count;
};

// The objects whose data moved from area 1 to area 2 in 1.12. Five control bytes in area 1
// select the objects to move; object j has two bytes of a K-byte record at x0 + K j and one
// byte in each of the four arrays at x[0..3] + j, whose places in area 2 are y[0..5] + j.
struct ObjectMoveTable {
  // b1..b5: objects in use (b1), objects kept out of the move (b2), and three more flags
  // (b3 must be set, b4 and b5 clear for an object to move).
  std::array<std::uint16_t, 5> control;
  std::uint16_t x0;
  std::uint16_t recordSize;  // K
  std::array<std::uint16_t, 4> x;
  std::array<std::uint16_t, 6> y;
  int objects;
};
inline constexpr std::size_t kObjectMoveB1 = 0;
inline constexpr std::size_t kObjectMoveB2 = 1;
inline constexpr std::size_t kObjectMoveB3 = 2;
inline constexpr std::size_t kObjectMoveB4 = 3;
inline constexpr std::size_t kObjectMoveB5 = 4;
inline constexpr int kObjectMoveBytes = 6;  // the bytes of one object that move

// One range of the 1.10 fill (area 1, panel type 1).
struct FillRange {
  std::uint16_t address;
  std::uint16_t count;
};
// The fill values: the first range has its own.
struct FillValues {
  std::uint8_t firstRange;
  std::uint8_t otherRanges;
};

// The 1.17 flag expansion: N source bytes in area 1 at `source`; bit 1 of source byte i
// becomes S bytes at firstTarget + S i and bit 0 S bytes at secondTarget + S i, in the
// target area.
struct FlagExpansionTable {
  std::uint16_t sourceCount;  // N
  std::uint16_t width;        // S
  std::uint8_t targetArea;
  std::uint16_t source;        // A
  std::uint16_t firstTarget;   // B1
  std::uint16_t secondTarget;  // B2
};

// The 1.11 clearing, all in area 1: `clearCount` bytes at `clearAddress` become 0; of the
// `scanCount` bytes at `scanAddress`, each that equals kClearing111Marker clears the byte at
// markedBase + 2 i.
struct Clearing111Table {
  std::uint16_t clearCount;  // P
  std::uint16_t scanCount;   // Q
  std::uint16_t clearAddress;
  std::uint16_t scanAddress;
  std::uint16_t markedBase;
};
inline constexpr std::uint8_t kClearing111Marker = 0x13;

// The 1.19 zone flags: one byte per zone in area 1.
struct ZoneFlagTable {
  std::uint16_t zones;
  std::uint16_t address;
};

// The rows for a panel type; nullopt where the step has no row for that type.
std::optional<ClearedFieldsTable> ClearedFieldsFor(std::uint8_t panelType);
std::optional<ObjectMoveTable> ObjectMoveFor(std::uint8_t panelType);
std::optional<FlagExpansionTable> FlagExpansionFor(std::uint8_t panelType);
std::optional<Clearing111Table> Clearing111For(std::uint8_t panelType);
std::optional<ZoneFlagTable> ZoneFlagFor(std::uint8_t panelType);

// The 1.10 fill (panel type 1 only): the ranges in writing order and the values by direction.
std::span<const FillRange> Fill110Ranges();
FillValues Fill110Values(bool upgrade);
inline constexpr std::uint8_t kFill110PanelType = 1;

// The 1.14 clearing (panel type 1 only): 49 bytes of area 1.
inline constexpr std::uint8_t kClearing114PanelType = 1;
inline constexpr std::uint16_t kClearing114Address = 0x3440;
inline constexpr std::uint16_t kClearing114Count = 49;

}  // namespace korvex::update
