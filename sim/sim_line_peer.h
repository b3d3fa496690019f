// Links a simulated panel to the in-process serial device on the virtual clock: what the PC
// writes reaches the panel at the line's rate, and the panel's reply bytes become available
// at the virtual times the panel gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/line_peer.h"
#include "sim/panel_model.h"

namespace korvex::sim {

class SimLinePeer : public link::LinePeer {
 public:
  explicit SimLinePeer(PanelModel& panel) : panel_(panel) {}

  void Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
               std::uint64_t nowMs) override;
  // Reply bytes sent at a rate other than the one the PC last wrote at are garbage to it
  // and are dropped.
  std::vector<std::uint8_t> Collect(std::uint64_t nowMs) override;
  std::optional<std::uint64_t> NextArrivalMs() const override;
  void SetModemLines(bool dtr, bool rts, std::uint64_t nowMs) override;
  bool Cts(std::uint64_t nowMs) const override;

  PanelModel& Panel() { return panel_; }

 private:
  PanelModel& panel_;
  std::uint32_t pcRate_ = 0;  // the rate of the PC's last write; 0 until it wrote
};

}  // namespace korvex::sim
