// What the starter commands share about the connected panel and the run: the facts read by
// the identification (FLASH chip, panel type, starter version), the link token stored in the
// panel with the countdown to its next check, and the flag that silences settings writes
// after one of them failed. Set per connection; the commands read and update it.
#pragma once

#include <array>
#include <cstdint>

namespace korvex::link {

struct StarterState {
  // Data bytes 0, 1 and 2 of the identification reply.
  std::uint8_t FlashKind = 0;
  std::uint8_t PanelType = 0;       // chooses the settings protection table
  std::uint8_t StarterVersion = 0;  // two hexadecimal digits: 0x52 is 5.2

  // The run's token (t0..t3) and the number of full page programs left before it is checked
  // again.
  std::array<std::uint8_t, 4> LinkToken{};
  std::uint8_t LinkTokenCountdown = 0;

  // Set by a settings write that gave up; while set, settings writes send nothing.
  bool SettingsWriteFailed = false;
  // Two readings of a value that was to be written back came out different: the line is
  // not to be trusted, and the run ends as a lost connection instead of writing from them.
  bool ReadingsDisagreed = false;
};

}  // namespace korvex::link
