// The starter's command set in one place: holds the link and the state the commands share,
// so that an operation calls starter.ReadFlashByte(address, value) and the like.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/flash_commands.h"
#include "link/link.h"
#include "link/settings_commands.h"
#include "link/st_command.h"
#include "link/starter_connection.h"
#include "link/starter_state.h"

namespace korvex::link {

// What the commands wrote to the panel during an operation, for the run report.
struct WriteCounts {
  std::uint32_t sectorsErased = 0;
  std::uint32_t pagesProgrammed = 0;
  std::uint32_t settingsWrites = 0;  // 64-byte and one-byte settings write requests
};

class Starter {
 public:
  explicit Starter(Link& link) : link_(link) {}
  Starter(const Starter&) = delete;
  Starter& operator=(const Starter&) = delete;

  Link& GetLink() { return link_; }
  StarterState& State() { return state_; }
  // What this object's write commands wrote since the last ResetWrites.
  const WriteCounts& Writes() const { return writes_; }
  void ResetWrites() { writes_ = {}; }
  const StarterState& State() const { return state_; }

  // Connection and control.
  ConnectResult ConnectStarter() { return link::ConnectStarter(link_); }
  bool IdentifyPanel() { return link::IdentifyPanel(link_); }
  void StoreIdentification() { link::StoreIdentification(link_, state_); }
  // Sends State().LinkToken.
  void SetLinkToken() { link::SetLinkToken(link_, state_.LinkToken); }
  bool CheckLinkToken() { return link::CheckLinkToken(link_, state_); }
  bool RestartPanel() { return link::RestartPanel(link_); }
  void ShowKeypadText(const std::string& line1, const std::string& line2, bool title) {
    link::ShowKeypadText(link_, line1, line2, title);
  }
  bool RunStarterUpdate() { return link::RunStarterUpdate(link_); }

  // FLASH memory.
  bool ReadFlashByte(std::uint32_t address, std::uint8_t& value) {
    return link::ReadFlashByte(link_, address, value);
  }
  bool ReadFlashPage(std::uint32_t address, std::span<std::uint8_t, kFlashPageSize> page) {
    return link::ReadFlashPage(link_, address, page);
  }
  bool ReadBlockCheck(std::uint32_t address, firmware::BlockCheckValues& values) {
    return link::ReadBlockCheck(link_, address, values);
  }
  WriteStatus EraseFlashSector(std::uint8_t sector) {
    const WriteStatus status = link::EraseFlashSector(link_, state_, sector);
    if (status == WriteStatus::kDone) ++writes_.sectorsErased;
    return status;
  }
  WriteStatus ProgramFlashPage(std::uint32_t address,
                               std::span<const std::uint8_t, kFlashPageSize> page) {
    const WriteStatus status = link::ProgramFlashPage(link_, state_, address, page);
    if (status == WriteStatus::kDone) ++writes_.pagesProgrammed;
    return status;
  }

  // Settings memory.
  bool ReadSettings(std::uint8_t area, std::uint16_t address,
                    std::span<std::uint8_t, kSettingsChunk> data) {
    return link::ReadSettings(link_, area, address, data);
  }
  bool ReadSettingsByte(std::uint8_t area, std::uint16_t address, std::uint8_t& value) {
    return link::ReadSettingsByte(link_, area, address, value);
  }
  void WriteSettings(std::uint8_t area, std::uint16_t address,
                     std::span<const std::uint8_t, kSettingsChunk> data) {
    ++writes_.settingsWrites;
    link::WriteSettings(link_, state_, area, address, data);
  }
  void WriteSettingsByte(std::uint8_t area, std::uint16_t address, std::uint8_t value) {
    ++writes_.settingsWrites;
    link::WriteSettingsByte(link_, state_, area, address, value);
  }
  void WriteSettingsString(std::uint8_t area, std::uint16_t address, std::string_view s) {
    link::WriteSettingsString(link_, state_, area, address, s);
  }
  bool UpdateSettingsCheck(std::uint8_t area, std::uint16_t block) {
    return link::UpdateSettingsCheck(link_, state_, area, block);
  }
  bool WriteSettingsByteChecked(std::uint8_t area, std::uint16_t address, std::uint8_t value) {
    return link::WriteSettingsByteChecked(link_, state_, area, address, value);
  }

  // The ST controller.
  bool StCommand(std::span<const std::uint8_t> command, std::uint8_t wait,
                 std::uint8_t expectedAnswer, std::vector<std::uint8_t>& reply, bool showProgress,
                 std::uint8_t expectedCount) {
    return link::StCommand(link_, command, wait, expectedAnswer, reply, showProgress,
                           expectedCount);
  }

 private:
  Link& link_;
  StarterState state_;
  WriteCounts writes_;
};

}  // namespace korvex::link
