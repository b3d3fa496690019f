#include "update/conversion_tables.h"

#include <initializer_list>

namespace korvex::update {

namespace {

// A table row for the panel types whose bits are set in `panelTypes` (bit t for type t).
template <typename T>
struct Row {
  std::uint16_t panelTypes;
  T values;
};

constexpr std::uint16_t Types(std::initializer_list<int> types) {
  std::uint16_t mask = 0;
  for (const int t : types) mask = static_cast<std::uint16_t>(mask | 1u << t);
  return mask;
}

template <typename T, std::size_t N>
std::optional<T> Find(const std::array<Row<T>, N>& rows, std::uint8_t panelType) {
  if (panelType >= 16) return std::nullopt;
  for (const Row<T>& row : rows) {
    if ((row.panelTypes >> panelType & 1u) != 0) return row.values;
  }
  return std::nullopt;
}

constexpr std::array<Row<ClearedFieldsTable>, 4> kClearedFields{{
    {Types({0, 1}), {0x7D44, 4}},
    {Types({2, 6}), {0x79B0, 8}},
    {Types({3, 4, 5, 7}), {0x7988, 8}},
    {Types({8}), {0x7958, 8}},
}};

//                         control b1..b5                            x0     K   x1..x4
//                         y0..y5                                                   objects
constexpr std::array<Row<ObjectMoveTable>, 6> kObjectMove{{
    {Types({0, 1}),
     {{0x5186, 0x51B7, 0x5189, 0x5187, 0x5188},
      0x41C4,
      4,
      {0x41B4, 0x41B8, 0x41BC, 0x41C0},
      {0x39B8, 0x39BC, 0x3A30, 0x3A34, 0x3A38, 0x3A3C},
      4}},
    {Types({2}),
     {{0xDB86, 0xDA68, 0xDB89, 0xDB87, 0xDB88},
      0xBAA0,
      8,
      {0xBA80, 0xBA88, 0xBA90, 0xBA98},
      {0xAB76, 0xAB7E, 0xAB86, 0xAB8E, 0xAB96, 0xAB9E},
      8}},
    {Types({3}),
     {{0xF706, 0xF5D8, 0xF709, 0xF707, 0xF708},
      0xD160,
      16,
      {0xD140, 0xD148, 0xD150, 0xD158},
      {0xB7B6, 0xB7BE, 0xB7C6, 0xB7CE, 0xB7D6, 0xB7DE},
      8}},
    {Types({4, 5}),
     {{0xF166, 0xF0DA, 0xF169, 0xF167, 0xF168},
      0xCCE0,
      16,
      {0xCCC0, 0xCCC8, 0xCCD0, 0xCCD8},
      {0xBE2E, 0xBE36, 0xBE3E, 0xBE46, 0xBE4E, 0xBE56},
      8}},
    {Types({6}),
     {{0xDB86, 0xDA68, 0xDB89, 0xDB87, 0xDB88},
      0xBAA0,
      8,
      {0xBA80, 0xBA88, 0xBA90, 0xBA98},
      {0xAD48, 0xAD50, 0xAD58, 0xAD60, 0xAD68, 0xAD70},
      8}},
    {Types({7}),
     {{0xF706, 0xF5FC, 0xF709, 0xF707, 0xF708},
      0xD160,
      16,
      {0xD140, 0xD148, 0xD150, 0xD158},
      {0xB988, 0xB990, 0xB998, 0xB9A0, 0xB9A8, 0xB9B0},
      8}},
}};

constexpr std::array<FillRange, 10> kFill110Ranges{{
    {0x3080, 64},
    {0x3440, 128},
    {0x35A0, 32},
    {0x36A0, 32},
    {0x37A0, 32},
    {0x38A0, 32},
    {0x3930, 16},
    {0x39B0, 16},
    {0x3A30, 16},
    {0x3AB0, 16},
}};
constexpr FillValues kFill110Up{0x00, 0x00};
constexpr FillValues kFill110Down{0x20, 0x99};

//                                                 N   S  area   A       B1      B2
constexpr std::array<Row<FlagExpansionTable>, 7> kFlagExpansion{{
    {Types({0, 1}), {10, 2, kSettingsArea1, 0x4FEC, 0x35A0, 0x36A0}},
    {Types({2}), {18, 4, kSettingsArea2, 0xD878, 0xAC80, 0xACC8}},
    {Types({3}), {18, 4, kSettingsArea2, 0xF3E8, 0xB8C0, 0xB908}},
    {Types({4, 5}), {18, 4, kSettingsArea2, 0xEEE8, 0xBF40, 0xBF88}},
    {Types({6}), {18, 4, kSettingsArea2, 0xD878, 0xB1A0, 0xB1E8}},
    {Types({7}), {18, 4, kSettingsArea2, 0xF3E8, 0xBE60, 0xBEA8}},
    {Types({8}), {18, 4, kSettingsArea2, 0xF528, 0xCFA0, 0xCFE8}},
}};

//                                             P   Q    C1      C2      C3
constexpr std::array<Row<Clearing111Table>, 5> kClearing111{{
    {Types({0, 1}), {4, 32, 0x3AB8, 0x5140, 0x3D60}},
    {Types({2, 6}), {8, 64, 0xDA60, 0xDB00, 0xB280}},
    {Types({3, 7}), {8, 64, 0xF5D0, 0xF680, 0xC6C0}},
    {Types({4, 5}), {8, 32, 0xF0D0, 0xF120, 0xC420}},
    {Types({8}), {8, 64, 0xECA8, 0xCA00, 0xCB80}},
}};

constexpr std::array<Row<ZoneFlagTable>, 5> kZoneFlag{{
    {Types({0}), {24, 0x2D80}},
    {Types({1}), {32, 0x2D80}},
    {Types({2, 6}), {64, 0x90C0}},
    {Types({3, 4, 5, 7}), {128, 0x9C80}},
    {Types({8}), {256, 0x9E00}},
}};

}  // namespace

std::optional<ClearedFieldsTable> ClearedFieldsFor(std::uint8_t panelType) {
  return Find(kClearedFields, panelType);
}

std::optional<ObjectMoveTable> ObjectMoveFor(std::uint8_t panelType) {
  return Find(kObjectMove, panelType);
}

std::optional<FlagExpansionTable> FlagExpansionFor(std::uint8_t panelType) {
  return Find(kFlagExpansion, panelType);
}

std::optional<Clearing111Table> Clearing111For(std::uint8_t panelType) {
  return Find(kClearing111, panelType);
}

std::optional<ZoneFlagTable> ZoneFlagFor(std::uint8_t panelType) {
  return Find(kZoneFlag, panelType);
}

std::span<const FillRange> Fill110Ranges() {
  return kFill110Ranges;
}

FillValues Fill110Values(bool upgrade) {
  return upgrade ? kFill110Up : kFill110Down;
}

}  // namespace korvex::update
