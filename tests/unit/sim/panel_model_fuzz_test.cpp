// The simulator must survive any byte stream: random bytes, damaged frames, well-formed
// requests of every command with random parameters, at random rates and times, with and
// without faults. Bounded and seeded so that it runs in a moment and fails the same way
// every time.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/frame.h"
#include "panel_test_util.h"
#include "sim/panel_model.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint32_t, 4> kRates = {9600, 57600, 115200, 19200};
constexpr std::array<std::uint8_t, 36> kCommands = {
    0x0D, 0x14, 0x61, 0x1E, 0x1F, 0x67, 0x21, 0xA5, 0x62, 0x64, 0x70, 0x80,
    0x81, 0x90, 0x26, 0x25, 0x28, 0x16, 0x15, 0x18, 0x46, 0x45, 0x48, 0x36,
    0x35, 0x38, 0xE6, 0xE5, 0xE8, 0xD6, 0xD5, 0xD8, 0x66, 0x65, 0x68, 0x00};

class Stream {
 public:
  explicit Stream(std::uint32_t seed) : rng_(seed) {}
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(rng_()); }

  // A request of a known command with random (often nearly right) parameters.
  Bytes Request() {
    Bytes r = {kCommands[Below(kCommands.size())]};
    const std::uint32_t length =
        Below(4) == 0 ? 4 + Below(256)
                      : std::array<std::uint32_t, 7>{4, 5, 7, 19, 36, 68, 259}[Below(7)];
    while (r.size() < length) r.push_back(Below(3) == 0 ? 0xFF : Byte());
    if (r[0] == 0x0D && Below(2) == 0) r = {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
    if (r[0] == 0x90 && r.size() >= 4 && Below(2) == 0) {
      r[3] = static_cast<std::uint8_t>(r.size() - 4);
      r[4 % r.size()] = static_cast<std::uint8_t>(0x12 + Below(14));
    }
    return r;
  }

  Bytes Chunk() {
    switch (Below(5)) {
      case 0: {  // noise
        Bytes noise(Below(40));
        for (std::uint8_t& b : noise) b = Below(4) == 0 ? 0xFF : Byte();
        return noise;
      }
      case 1: {  // a damaged frame
        Bytes frame = link::EncodeRequestFrame(Request());
        frame[Below(static_cast<std::uint32_t>(frame.size()))] ^=
            static_cast<std::uint8_t>(1u << Below(8));
        if (Below(2) == 0) frame.resize(Below(static_cast<std::uint32_t>(frame.size())));
        return frame;
      }
      default:
        return link::EncodeRequestFrame(Request());
    }
  }

 private:
  std::mt19937 rng_;
};

void Drive(PanelModel& panel, Stream& s, int chunks) {
  std::uint64_t now = 0;
  for (int i = 0; i < chunks; ++i) {
    const std::uint32_t rate = kRates[s.Below(s.Below(4) == 0 ? 4 : 1)];
    panel.Hear(s.Chunk(), rate, now);
    now += s.Below(4) == 0 ? s.Below(70'000'000) : s.Below(50'000);
    // Whatever the panel sends is a whole reply frame (no faults) that the PC's receiver takes.
    for (const OutByte& b : panel.TakeOutput(now)) ASSERT_LE(b.atUs, now);
    if (s.Below(200) == 0) panel.PowerCycle(now);
    if (s.Below(200) == 0) panel.EnterStarter(now);
    panel.Cts(now);
  }
}

TEST(PanelFuzz, RandomStreamsNeverBreakThePanel) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    Stream s(seed);
    auto panel = testing::MakePanel({{"panel_type", std::to_string(seed + 2).c_str()},
                                     {"starter_version", seed % 2 ? "0x61" : "0x2F"},
                                     {"strict", seed % 3 ? "yes" : "no"}});
    Drive(*panel, s, 4000);
    EXPECT_GT(panel->RequestCount(), 0u) << seed;
  }
}

TEST(PanelFuzz, RandomStreamsWithFaultsAndOldKinds) {
  for (std::uint32_t seed = 11; seed <= 14; ++seed) {
    Stream s(seed);
    auto panel = testing::MakePanel({{"panel_type", "5"},
                                     {"flash_kind", seed % 2 ? "1" : "4"},
                                     {"fault.corrupt_probability", "0.01"},
                                     {"fault.drop_probability", "0.05"},
                                     {"fault.power_loss_at", "900"},
                                     {"fault.lose_token_at", "30"},
                                     {"fault.delay_reply", "0x61:*=100"}});
    Drive(*panel, s, 3000);
  }
}

TEST(PanelFuzz, RepliesToWellFormedRequestsAlwaysDecode) {
  Stream s(99);
  auto panel = testing::MakePanel({{"panel_type", "6"}});
  std::uint64_t now = 0;
  panel->Hear(link::EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}), 9600, now);
  for (int i = 0; i < 1500; ++i) {
    Bytes request = s.Request();
    if (request[0] == 0x67 || request[0] == 0x14 || request[0] == 0x0D)
      continue;         // stay in the starter at 9600
    now += 80'000'000;  // long past any work or wait
    panel->Hear(link::EncodeRequestFrame(request), 9600, now);
    const auto out = panel->TakeOutput(now + 80'000'000);
    if (out.empty()) continue;
    link::ReplyReceiver::Buffer buffer{};
    link::ReplyReceiver receiver(buffer);
    for (const OutByte& b : out) receiver.Feed(b.value);
    EXPECT_TRUE(receiver.ChecksMatch()) << "request " << int{request[0]};
    EXPECT_NE(buffer[0], 0) << "a reply of fewer than 256 bytes never counts 0";
  }
}

}  // namespace
}  // namespace korvex::sim
