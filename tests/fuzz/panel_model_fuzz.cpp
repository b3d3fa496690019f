// libFuzzer harness for the panel simulator: the input is a script of line events (bytes at
// a rate, whole request frames, pauses, the operator's actions) played against a panel
// whose kind, starter and faults the first bytes choose. Any crash, sanitizer report or
// broken reply frame is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/panel_preset.h"

namespace {

using korvex::sim::PanelModel;
using korvex::sim::PanelPreset;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::vector<std::uint8_t> Bytes(std::size_t n) {
    std::vector<std::uint8_t> out;
    while (n-- > 0 && at_ < size_) out.push_back(data_[at_++]);
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Panels are built once per configuration: making the sample program costs more than a run.
const PanelPreset& Preset(std::uint8_t choice) {
  static std::vector<std::unique_ptr<PanelPreset>> presets;
  if (presets.empty()) {
    const char* versions[] = {"0x61", "0x55", "0x51", "0x2F"};
    for (int i = 0; i < 16; ++i) {
      auto p = std::make_unique<PanelPreset>();
      std::string error;
      korvex::sim::ApplyPresetSetting(*p, "panel_type", std::to_string(i % 9), &error);
      korvex::sim::ApplyPresetSetting(*p, "flash_kind", std::to_string(1 + i % 9), &error);
      korvex::sim::ApplyPresetSetting(*p, "starter_version", versions[i % 4], &error);
      korvex::sim::ApplyPresetSetting(*p, "strict", i % 3 ? "yes" : "no", &error);
      if (i % 5 == 0)
        korvex::sim::ApplyPresetSetting(*p, "fault.corrupt_probability", "0.02", &error);
      if (i % 7 == 0) korvex::sim::ApplyPresetSetting(*p, "fault.power_loss_at", "40", &error);
      presets.push_back(std::move(p));
    }
  }
  return *presets[choice % presets.size()];
}

const korvex::sim::PanelMemory& Memory(std::uint8_t choice) {
  static std::vector<std::unique_ptr<korvex::sim::PanelMemory>> memories(16);
  auto& memory = memories[choice % memories.size()];
  if (!memory)
    memory = std::make_unique<korvex::sim::PanelMemory>(
        *korvex::sim::BuildPanelMemory(Preset(choice), nullptr));
  return *memory;
}

constexpr std::uint32_t kRates[] = {9600, 57600, 115200, 2400};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t choice = in.Byte();
  PanelModel panel(Preset(choice).config, Memory(choice));
  std::uint64_t now = 0;
  std::uint32_t rate = 9600;
  while (!in.Empty()) {
    const std::uint8_t op = in.Byte();
    switch (op % 8) {
      case 0:
        rate = kRates[in.Byte() % 4];
        break;
      case 1:
        panel.Hear(in.Bytes(in.Byte() % 64), rate, now);
        break;
      case 2: {  // a well-formed frame of a request taken from the input
        std::vector<std::uint8_t> request = in.Bytes(4 + in.Byte());
        if (request.size() >= korvex::link::kMinRequestLength &&
            request.size() <= korvex::link::kMaxRequestLength) {
          panel.Hear(korvex::link::EncodeRequestFrame(request), rate, now);
        }
        break;
      }
      case 3:
        panel.Hear(korvex::link::EncodeRequestFrame(
                       std::vector<std::uint8_t>{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}),
                   rate, now);
        break;
      case 4:
        now += (static_cast<std::uint64_t>(in.Byte()) << 8 | in.Byte()) * 1000;
        break;
      case 5:
        panel.PowerCycle(now);
        break;
      case 6:
        panel.EnterStarter(now);
        break;
      default: {
        const auto out = panel.TakeOutput(now);
        for (const auto& b : out) {
          if (b.atUs > now) std::abort();
        }
        panel.Cts(now);
        break;
      }
    }
  }
  return 0;
}
