#include "update/table_conversions.h"

#include <array>
#include <numeric>
#include <string>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/confirmed_reads.h"
#include "update/conversion_tables.h"

namespace korvex::update {

namespace {

constexpr const char* kConversionLine = "Settings format conversion";

bool WritesFailed(Context& context) {
  return context.starter.State().SettingsWriteFailed;
}

// Writes one byte and refreshes the check of its block. After a failed write the remaining
// writes of the step would send nothing, and their check updates would only read, so
// nothing at all is sent. A check update whose reads failed leaves the block's sum stale,
// which the panel takes for damaged settings: that counts as a failed write too.
void WriteChecked(Context& context, std::uint8_t area, std::uint16_t address, std::uint8_t value) {
  link::StarterState& state = context.starter.State();
  // Once readings disagreed the run ends; nothing more is written.
  if (state.SettingsWriteFailed || state.ReadingsDisagreed) return;
  if (!context.starter.WriteSettingsByteChecked(area, address, value)) {
    state.SettingsWriteFailed = true;
  }
}

bool ReadByte(Context& context, std::uint8_t area, std::uint16_t address, std::uint8_t& value) {
  if (context.starter.State().ReadingsDisagreed) return false;
  return ReadSettingsByteConfirmed(context, area, address, value);
}

std::uint16_t At(std::uint16_t base, int offset) {
  return static_cast<std::uint16_t>(base + offset);
}

void Progress(Context& context, int position, int maximum) {
  context.session.Info1.KVprogress(position, maximum, 1);
}

// The verdict of a step with a status line, then the flag cleared for the next step.
void EndWithVerdict(Context& context) {
  link::StarterState& state = context.starter.State();
  if (state.SettingsWriteFailed) {
    context.session.Info1.KVstatus(display::kVerdictError, 0, display::kAttrBoldRed);
  } else {
    context.session.Info1.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  }
  state.SettingsWriteFailed = false;
}

void EndQuietly(Context& context) {
  context.starter.State().SettingsWriteFailed = false;
}

std::uint8_t PanelType(Context& context) {
  return context.starter.State().PanelType;
}

// The six area-1 addresses of object j and their places in area 2.
struct ObjectBytes {
  std::array<std::uint16_t, kObjectMoveBytes> area1;
  std::array<std::uint16_t, kObjectMoveBytes> area2;
};

ObjectBytes BytesOfObject(const ObjectMoveTable& table, int j) {
  const int record = table.recordSize * j;
  ObjectBytes bytes{};
  bytes.area1 = {At(table.x0, record), At(table.x0, record + 1), At(table.x[0], j),
                 At(table.x[1], j),    At(table.x[2], j),        At(table.x[3], j)};
  for (int k = 0; k < kObjectMoveBytes; ++k) bytes.area2[k] = At(table.y[k], j);
  return bytes;
}

void MoveObjectUp(Context& context, const ObjectBytes& bytes) {
  std::array<bool, kObjectMoveBytes> moved{};
  for (int k = 0; k < kObjectMoveBytes; ++k) {
    std::uint8_t value = 0;
    // A byte that cannot be read stays where it is.
    if (!ReadByte(context, kSettingsArea1, bytes.area1[k], value)) continue;
    WriteChecked(context, kSettingsArea2, bytes.area2[k], value);
    moved[k] = true;
  }
  for (int k = 0; k < kObjectMoveBytes; ++k) {
    if (moved[k]) WriteChecked(context, kSettingsArea1, bytes.area1[k], 0x00);
  }
}

void MoveObjectDown(Context& context, const ObjectBytes& bytes) {
  for (int k = 0; k < kObjectMoveBytes; ++k) {
    std::uint8_t value = 0;
    if (ReadByte(context, kSettingsArea2, bytes.area2[k], value)) {
      WriteChecked(context, kSettingsArea1, bytes.area1[k], value);
    }
  }
}

}  // namespace

void ClearFields112(Context& context) {
  if (const auto table = ClearedFieldsFor(PanelType(context))) {
    context.starter.WriteSettingsString(kSettingsArea1, table->address,
                                        std::string(table->count, '\0'));
  }
  EndQuietly(context);
}

void MoveObjectData112(Context& context, bool upgrade) {
  const auto table = ObjectMoveFor(PanelType(context));
  if (!table) {
    EndQuietly(context);
    return;
  }
  std::array<std::uint8_t, 5> control{};
  bool controlRead = true;
  for (std::size_t k = 0; k < control.size(); ++k) {
    if (!ReadByte(context, kSettingsArea1, table->control[k], control[k])) controlRead = false;
  }
  // Without every control byte the objects to move are unknown: nothing is changed.
  if (controlRead) {
    if (upgrade) {
      WriteChecked(context, kSettingsArea1, table->control[kObjectMoveB2], 0x00);
      control[kObjectMoveB2] = 0x00;
    } else {
      // Objects that the older program cannot hold are taken out of use.
      std::uint8_t inUse = 0;
      if (ReadByte(context, kSettingsArea1, table->control[kObjectMoveB1], inUse)) {
        WriteChecked(context, kSettingsArea1, table->control[kObjectMoveB1],
                     static_cast<std::uint8_t>(inUse & ~control[kObjectMoveB2]));
      }
    }
    const unsigned selected =
        control[kObjectMoveB1] & control[kObjectMoveB3] &
        ~(control[kObjectMoveB2] | control[kObjectMoveB4] | control[kObjectMoveB5]);
    for (int j = 0; j < table->objects; ++j) {
      if ((selected >> j & 1u) == 0) continue;
      const ObjectBytes bytes = BytesOfObject(*table, j);
      if (upgrade) {
        MoveObjectUp(context, bytes);
      } else {
        MoveObjectDown(context, bytes);
      }
    }
  }
  EndQuietly(context);
}

void Fill110(Context& context, bool upgrade) {
  context.session.Info1.KVadd(kConversionLine);
  const std::span<const FillRange> ranges = Fill110Ranges();
  const int total = std::accumulate(ranges.begin(), ranges.end(), 0,
                                    [](int sum, const FillRange& r) { return sum + r.count; });
  const FillValues values = Fill110Values(upgrade);
  int written = 0;
  for (std::size_t r = 0; r < ranges.size() && !WritesFailed(context); ++r) {
    const std::uint8_t value = r == 0 ? values.firstRange : values.otherRanges;
    for (int n = 0; n < ranges[r].count && !WritesFailed(context); ++n, ++written) {
      Progress(context, written, total - 1);
      WriteChecked(context, kSettingsArea1, At(ranges[r].address, n), value);
    }
  }
  EndWithVerdict(context);
}

void Clear114(Context& context) {
  context.session.Info1.KVadd(kConversionLine);
  for (int i = 0; i < kClearing114Count && !WritesFailed(context); ++i) {
    Progress(context, i, kClearing114Count - 1);
    WriteChecked(context, kSettingsArea1, At(kClearing114Address, i), 0x00);
  }
  EndWithVerdict(context);
}

void ExpandFlags117(Context& context) {
  context.session.Info1.KVadd(kConversionLine);
  if (const auto table = FlagExpansionFor(PanelType(context))) {
    const int n = table->sourceCount;
    const int s = table->width;
    for (int i = 0; i < n && !WritesFailed(context); ++i) {
      Progress(context, i, n - 1);
      std::uint8_t flags = 0;
      if (!ReadByte(context, kSettingsArea1, At(table->source, i), flags)) {
        context.starter.State().SettingsWriteFailed = true;
        break;
      }
      const std::uint8_t first = (flags & 0x02) != 0 ? 0xFF : 0x00;
      const std::uint8_t second = (flags & 0x01) != 0 ? 0xFF : 0x00;
      for (int k = 0; k < s; ++k) {
        WriteChecked(context, table->targetArea, At(table->firstTarget, s * i + k), first);
      }
      for (int k = 0; k < s; ++k) {
        WriteChecked(context, table->targetArea, At(table->secondTarget, s * i + k), second);
      }
    }
  }
  EndWithVerdict(context);
}

void Clear111(Context& context) {
  context.session.Info1.KVadd(kConversionLine);
  if (const auto table = Clearing111For(PanelType(context))) {
    const int p = table->clearCount;
    const int q = table->scanCount;
    const int last = p + q - 1;
    for (int i = 0; i < p && !WritesFailed(context); ++i) {
      Progress(context, i, last);
      WriteChecked(context, kSettingsArea1, At(table->clearAddress, i), 0x00);
    }
    for (int i = 0; i < q && !WritesFailed(context); ++i) {
      Progress(context, p + i, last);
      std::uint8_t value = 0;
      if (!ReadByte(context, kSettingsArea1, At(table->scanAddress, i), value)) {
        context.starter.State().SettingsWriteFailed = true;
        break;
      }
      if (value == kClearing111Marker) {
        WriteChecked(context, kSettingsArea1, At(table->markedBase, 2 * i), 0x00);
      }
    }
  }
  EndWithVerdict(context);
}

PhaseOutcome ClearZoneFlags119(Context& context) {
  shell::Session& session = context.session;
  link::StarterState& state = context.starter.State();
  session.Info1.KVadd(kConversionLine);
  if (const auto table = ZoneFlagFor(PanelType(context))) {
    const int zones = table->zones;
    for (int i = 0; i < zones && !state.SettingsWriteFailed; ++i) {
      Progress(context, i, zones - 1);
      std::uint8_t zone = 0;
      if (!ReadByte(context, kSettingsArea1, At(table->address, i), zone)) {
        state.SettingsWriteFailed = true;
        break;
      }
      if ((zone & 0x01) != 0) {
        WriteChecked(context, kSettingsArea1, At(table->address, i),
                     static_cast<std::uint8_t>(zone & ~0x01));
      }
    }
  }
  if (state.SettingsWriteFailed) {
    // The new program would misread the zones: the panel must not be programmed.
    session.Info1.KVstatus(display::kVerdictError, 0, display::kAttrBoldRed);
    session.StopRequested = true;
    session.ExitCode = shell::kExitNoConnection;
    state.SettingsWriteFailed = false;
    return PhaseOutcome::kEndRun;
  }
  session.Info1.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
