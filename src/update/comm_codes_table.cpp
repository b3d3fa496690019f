#include "update/comm_codes_table.h"

#include <array>
#include <initializer_list>

namespace korvex::update {

namespace {

// `blocks` zero blocks of 64 bytes from `address` on.
struct ZeroRun {
  std::uint16_t address;
  std::uint8_t blocks;
};

constexpr ZeroRun Zero(std::uint16_t address, std::uint8_t blocks = 1) {
  return {address, blocks};
}

constexpr std::uint8_t kReleased = 0xFF;
constexpr std::uint8_t kCodeMark = 0xD0;   // + type mark
constexpr std::uint8_t kCheckMark = 0xB0;  // + type mark

// The rows of one column of the table, at the column's addresses.
struct Column {
  std::vector<ZeroRun> zeroBlocks;
  std::vector<std::uint16_t> releasedAt;  // 0xFF
  std::uint16_t counterFrom;              // 0x01 0x00 0x00 0x00 0x00, one each
  std::uint16_t codeMarkAt;               // 0xFE, 0xD0 + t
  std::uint16_t checkMarkAt;              // 0xFE, 0xDC, 0xB0 + t
  std::array<std::uint16_t, 4> runs;      // 00 00; 00 00 00; FF FF; FF FF FF
  std::array<std::uint16_t, 4> singles;   // 0x00 each
};

const Column kTypes01{
    {Zero(0x2700), Zero(0x28C0, 8), Zero(0x2D20), Zero(0x5140)},
    {0x5160},
    0x5185,
    0x5180,
    0x5182,
    {0x2898, 0x289A, 0x289D, 0x289F},
    {0x28B5, 0x28B7, 0x28B8, 0x28BF},
};
const Column kTypes26{
    {Zero(0x8400), Zero(0x8440), Zero(0x8740, 16), Zero(0x9000), Zero(0xDB00)},
    {0xDB40, 0xDB60},
    0xDB85,
    0xDB80,
    0xDB82,
    {0x8700, 0x8702, 0x8705, 0x8707},
    {0x871D, 0x871F, 0x8720, 0x8727},
};
const Column kTypes37{
    {Zero(0x8800), Zero(0x8840), Zero(0x8880), Zero(0x88C0), Zero(0x8E00, 16), Zero(0x9B00),
     Zero(0x9B40), Zero(0xF680)},
    {0xF6C0, 0xF6E0},
    0xF705,
    0xF700,
    0xF702,
    {0x8DD0, 0x8DD2, 0x8DD5, 0x8DD7},
    {0x8DED, 0x8DEF, 0x8DF0, 0x8DF7},
};
const Column kTypes45{
    {Zero(0x8800), Zero(0x8840), Zero(0x8880), Zero(0x88C0), Zero(0x8E00, 16), Zero(0x9B00),
     Zero(0x9B40), Zero(0xF120)},
    {0xF140},
    0xF165,
    0xF160,
    0xF162,
    {0x8DD0, 0x8DD2, 0x8DD5, 0x8DD7},
    {0x8DED, 0x8DEF, 0x8DF0, 0x8DF7},
};
const Column kType8{
    {Zero(0x8000, 4), Zero(0x8100, 4), Zero(0xD260, 16), Zero(0x9B00, 4), Zero(0xCA00)},
    {0xC900, 0xC920},
    0x99DD,
    0x99D8,
    0x99DA,
    {0x99BE, 0x99C0, 0x99C3, 0x99C5},
    {0x99FC, 0x99FE, 0x99FF, 0xEBFD},
};

// Column and type mark of each panel type.
struct TypeEntry {
  const Column* column;
  std::uint8_t mark;
};
const std::array<TypeEntry, 9> kTypeEntries{{
    {&kTypes01, 0},
    {&kTypes01, 1},
    {&kTypes26, 2},
    {&kTypes37, 3},
    {&kTypes45, 4},
    {&kTypes45, 4},
    {&kTypes26, 2},
    {&kTypes37, 3},
    {&kType8, 8},
}};

constexpr std::uint16_t kZeroBlockSize = 64;

void AddBytes(std::vector<CommCodesWrite>& out, std::uint16_t address,
              std::initializer_list<std::uint8_t> bytes) {
  out.push_back({address, false, std::string(bytes.begin(), bytes.end())});
}

}  // namespace

std::optional<std::vector<CommCodesWrite>> CommCodesWrites(int panelType) {
  if (panelType < 0 || panelType >= static_cast<int>(kTypeEntries.size())) return std::nullopt;
  const TypeEntry& entry = kTypeEntries[static_cast<std::size_t>(panelType)];
  const Column& column = *entry.column;
  const auto t = entry.mark;

  std::vector<CommCodesWrite> out;
  for (const ZeroRun& step : column.zeroBlocks) {
    for (std::uint16_t k = 0; k < step.blocks; ++k) {
      out.push_back({static_cast<std::uint16_t>(step.address + k * kZeroBlockSize), true, {}});
    }
  }
  for (std::uint16_t address : column.releasedAt) AddBytes(out, address, {kReleased});
  const std::array<std::uint8_t, 5> counter = {0x01, 0x00, 0x00, 0x00, 0x00};
  for (std::size_t i = 0; i < counter.size(); ++i) {
    AddBytes(out, static_cast<std::uint16_t>(column.counterFrom + i), {counter[i]});
  }
  AddBytes(out, column.codeMarkAt, {0xFE, static_cast<std::uint8_t>(kCodeMark + t)});
  AddBytes(out, column.checkMarkAt, {0xFE, 0xDC, static_cast<std::uint8_t>(kCheckMark + t)});
  AddBytes(out, column.runs[0], {0x00, 0x00});
  AddBytes(out, column.runs[1], {0x00, 0x00, 0x00});
  AddBytes(out, column.runs[2], {0xFF, 0xFF});
  AddBytes(out, column.runs[3], {0xFF, 0xFF, 0xFF});
  for (std::uint16_t address : column.singles) AddBytes(out, address, {0x00});
  return out;
}

}  // namespace korvex::update
