// The temperature settings of ORVO wireless devices (panel types 4 and 5), whose layout
// changed between 1.08 and 1.09. A device of type 23 occupies two of the 48 device positions;
// the six settings record bytes of its two positions hold two values A and B (9 bits each)
// and the temperature setting, up to 1.08 as a value C of 110..130 and from 1.09 as T = C - 110
// in two places.
#pragma once

#include <array>
#include <cstdint>

#include "update/run_context.h"

namespace korvex::update {

inline constexpr int kOrvoPositions = 48;
inline constexpr std::uint8_t kOrvoTemperatureDevice = 23;  // two positions, converted
inline constexpr std::uint8_t kOrvoUnconvertibleDevice = 25;
inline constexpr std::uint16_t kOrvoTypeTable = 0xD960;    // area 2, 48 type bytes
inline constexpr std::uint16_t kOrvoValueTable = 0xD990;   // area 2, 48 values of 3 bytes
inline constexpr std::uint16_t kOrvoRecordTable = 0xF57A;  // area 1, 48 records of 3 bytes
inline constexpr int kOrvoRecordBytes = 3 * kOrvoPositions;

using OrvoRecord = std::array<std::uint8_t, 6>;  // R0..R5 of a type-23 device

// The record of a device in the 1.09 layout, from its record in the 1.08 layout.
OrvoRecord OrvoRecordUp(const OrvoRecord& old);
// The record of a device in the 1.08 layout, from its record in the 1.09 layout.
OrvoRecord OrvoRecordDown(const OrvoRecord& current);
// Whether a record in the 1.09 layout carries the marks of that layout: R0 bit 7 clear (first
// position) and R3 bit 7 set (second position).
bool OrvoRecordMarked(const OrvoRecord& current);

// The conversion step for a panel of type 4 or 5: reads the device tables, converts every
// type-23 device, writes the records back with their block checks when every device could
// be converted, and otherwise asks whether to go on ("???" after Yes). kEndRun when the
// operator answers No.
PhaseOutcome ConvertOrvoTemperatures(Context& context, bool upgrade);

}  // namespace korvex::update
