#include "update/orvo_temperature.h"

#include <algorithm>
#include <span>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/confirmed_reads.h"
#include "update/conversion_tables.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr const char* kCannotConvertQuestion =
    "It is not possible to convert the format\rof ORVO devices temperature settings.\r\r"
    "Continue ?";
constexpr int kTableChunk = 48;  // the bytes of each 64-byte read that belong to a table
constexpr std::uint16_t kTemperatureLow = 110;
constexpr std::uint16_t kTemperatureHigh = 130;
constexpr std::uint8_t kTemperatureMax = kTemperatureHigh - kTemperatureLow;
constexpr std::uint8_t kTemperatureBits = 0x1F;
constexpr std::uint8_t kSecondPositionMark = 0x80;
// The record table is written back in three 64-byte writes: bytes 0..63, 64..127 and 80..143
// (the last one ends at the table's end and repeats 48 bytes of the second).
constexpr std::array<int, 3> kWriteBackOffsets{0, 64, 80};
// The blocks of area 1 that the record table touches.
constexpr std::array<std::uint16_t, 2> kRecordBlocks{0xF500, 0xF600};

struct DeviceTables {
  std::array<std::uint8_t, kOrvoPositions> types{};
  std::array<std::uint32_t, kOrvoPositions> values{};
  std::array<std::uint8_t, kOrvoRecordBytes> records{};
};

std::uint16_t NineBits(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>((high & 0x01) << 8 | low);
}

// Reads the 48 type bytes; false when the read failed (the types are then all 0).
bool ReadTypes(Context& context, DeviceTables& tables) {
  std::array<std::uint8_t, link::kSettingsChunk> chunk{};
  if (!ReadSettingsConfirmed(context, kSettingsArea2, kOrvoTypeTable, chunk)) return false;
  std::copy_n(chunk.begin(), kOrvoPositions, tables.types.begin());
  return true;
}

// Reads the value and record tables, 48 bytes of each of three reads per table; false when
// any read failed.
bool ReadValuesAndRecords(Context& context, DeviceTables& tables) {
  bool ok = true;
  std::array<std::uint8_t, kOrvoRecordBytes> valueBytes{};
  std::array<std::uint8_t, link::kSettingsChunk> chunk{};
  for (int part = 0; part < 3; ++part) {
    const int offset = kTableChunk * part;
    if (ReadSettingsConfirmed(context, kSettingsArea2,
                              static_cast<std::uint16_t>(kOrvoValueTable + offset), chunk)) {
      std::copy_n(chunk.begin(), kTableChunk, valueBytes.begin() + offset);
    } else {
      ok = false;
    }
  }
  for (int part = 0; part < 3; ++part) {
    const int offset = kTableChunk * part;
    if (ReadSettingsConfirmed(context, kSettingsArea1,
                              static_cast<std::uint16_t>(kOrvoRecordTable + offset), chunk)) {
      std::copy_n(chunk.begin(), kTableChunk, tables.records.begin() + offset);
    } else {
      ok = false;
    }
  }
  for (int i = 0; i < kOrvoPositions; ++i) {
    tables.values[i] = static_cast<std::uint32_t>(valueBytes[3 * i]) |
                       static_cast<std::uint32_t>(valueBytes[3 * i + 1]) << 8 |
                       static_cast<std::uint32_t>(valueBytes[3 * i + 2]) << 16;
  }
  return ok;
}

OrvoRecord RecordAt(const DeviceTables& tables, int position) {
  OrvoRecord record{};
  std::copy_n(tables.records.begin() + 3 * position, record.size(), record.begin());
  return record;
}

void PutRecord(DeviceTables& tables, int position, const OrvoRecord& record) {
  std::copy(record.begin(), record.end(), tables.records.begin() + 3 * position);
}

void ConvertUp(DeviceTables& tables) {
  for (int i = 0; i <= kOrvoPositions - 2;) {
    if (tables.types[i] == kOrvoTemperatureDevice) {
      PutRecord(tables, i, OrvoRecordUp(RecordAt(tables, i)));
      i += 2;
    } else {
      ++i;
    }
  }
}

// Converts every device it can; false when any device blocks the conversion of the table.
bool ConvertDown(DeviceTables& tables) {
  bool convertible = true;
  for (int i = 0; i <= kOrvoPositions - 1;) {
    const std::uint8_t type = tables.types[i];
    if (type == kOrvoUnconvertibleDevice) convertible = false;
    if (type != kOrvoTemperatureDevice) {
      ++i;
      continue;
    }
    if (i == kOrvoPositions - 1) {
      // A device cannot begin at the last position: its second position is missing.
      convertible = false;
      ++i;
      continue;
    }
    const OrvoRecord record = RecordAt(tables, i);
    if (tables.types[i + 1] != 0 || tables.values[i] != tables.values[i + 1] ||
        !OrvoRecordMarked(record)) {
      convertible = false;
    }
    PutRecord(tables, i, OrvoRecordDown(record));
    i += 2;
  }
  return convertible;
}

// Writes the record table back and refreshes the checks of its blocks; false when a write or
// a check update failed.
bool WriteBack(link::Starter& starter, const DeviceTables& tables) {
  link::StarterState& state = starter.State();
  state.SettingsWriteFailed = false;
  for (const int offset : kWriteBackOffsets) {
    starter.WriteSettings(kSettingsArea1, static_cast<std::uint16_t>(kOrvoRecordTable + offset),
                          std::span<const std::uint8_t, link::kSettingsChunk>(
                              tables.records.data() + offset, link::kSettingsChunk));
  }
  bool checked = true;
  for (const std::uint16_t block : kRecordBlocks) {
    if (!starter.UpdateSettingsCheck(kSettingsArea1, block)) checked = false;
  }
  return checked && !state.SettingsWriteFailed;
}

}  // namespace

OrvoRecord OrvoRecordUp(const OrvoRecord& old) {
  const std::uint16_t a = NineBits(old[0], old[1]);
  const std::uint16_t b = NineBits(old[2], old[3]);
  const std::uint16_t c = NineBits(old[4], old[5]);
  const auto t =
      static_cast<std::uint8_t>(std::clamp(c, kTemperatureLow, kTemperatureHigh) - kTemperatureLow);
  return {static_cast<std::uint8_t>(a >> 8),
          static_cast<std::uint8_t>(a & 0xFF),
          t,
          static_cast<std::uint8_t>((b >> 8) + kSecondPositionMark),
          static_cast<std::uint8_t>(b & 0xFF),
          t};
}

OrvoRecord OrvoRecordDown(const OrvoRecord& current) {
  const std::uint16_t a = NineBits(current[0], current[1]);
  const std::uint8_t t1 = std::min<std::uint8_t>(current[2] & kTemperatureBits, kTemperatureMax);
  const std::uint8_t t2 = std::min<std::uint8_t>(current[5] & kTemperatureBits, kTemperatureMax);
  const std::uint16_t b = NineBits(current[3], current[4]);
  const auto c = static_cast<std::uint16_t>(std::min(t1, t2) + kTemperatureLow);
  return {static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a & 0xFF),
          static_cast<std::uint8_t>(b >> 8), static_cast<std::uint8_t>(b & 0xFF),
          static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c & 0xFF)};
}

bool OrvoRecordMarked(const OrvoRecord& current) {
  return (current[0] & kSecondPositionMark) == 0 && (current[3] & kSecondPositionMark) != 0;
}

PhaseOutcome ConvertOrvoTemperatures(Context& context, bool upgrade) {
  display::TKVStatus& info = context.session.Info1;
  link::Starter& starter = context.starter;

  info.KVadd("Settings format conversion");
  DeviceTables tables;
  bool cannotConvert = !ReadTypes(context, tables);
  const bool anyDevice = std::find(tables.types.begin(), tables.types.end(),
                                   kOrvoTemperatureDevice) != tables.types.end();
  if (std::find(tables.types.begin(), tables.types.end(), kOrvoUnconvertibleDevice) !=
      tables.types.end()) {
    cannotConvert = true;
  }
  if (EndedOnDisagreement(context)) return PhaseOutcome::kEndRun;
  if (!cannotConvert && !anyDevice) {
    info.KVstatus("not needed", 0, display::kAttrPlain);
    return PhaseOutcome::kGoOn;
  }

  if (!ReadValuesAndRecords(context, tables)) cannotConvert = true;
  // The tables would be written back from readings the line may have changed.
  if (EndedOnDisagreement(context)) return PhaseOutcome::kEndRun;
  if (upgrade) {
    ConvertUp(tables);
  } else if (!ConvertDown(tables)) {
    cannotConvert = true;
  }
  // One device that cannot be converted leaves the whole table in its old layout.
  if (!cannotConvert && !WriteBack(starter, tables)) cannotConvert = true;
  if (EndedOnDisagreement(context)) return PhaseOutcome::kEndRun;

  std::string verdict = display::kVerdictOk;
  if (cannotConvert) {
    if (!context.UnattendedRun) {
      if (!context.session.ShowMessageBox(kCannotConvertQuestion, shell::MessageKind::kConfirmation,
                                          false)) {
        return PhaseOutcome::kEndRun;
      }
    }
    // An unattended run goes on without asking, but its log still shows that the
    // temperature settings kept their old layout.
    verdict = "???";
  }
  info.KVstatus(verdict, 0, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
