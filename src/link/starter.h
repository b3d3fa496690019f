// The starter's command set in one place: holds the link and the state the commands share,
// so that an operation calls starter.ReadFlashByte(address, value) and the like. The
// commands are defined by topic: starter_connection.cpp (connect, identification, token,
// restart, keypads), flash_commands.cpp, settings_commands.cpp and st_command.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/block_check.h"
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

  StarterState& State() { return state_; }
  // What this object's write commands wrote since the last ResetWrites.
  const WriteCounts& Writes() const { return writes_; }
  void ResetWrites() { writes_ = {}; }
  // The operator asked to stop; a sequence of commands gives up between them.
  bool StopRequested() const { return link_.StopRequested(); }
  const StarterState& State() const { return state_; }

  // --- Connection and control -------------------------------------------------------
  // Sends the connect request at the current rate. On no reply or a refusal the rate is
  // stepped (9600 -> 57600 -> 115200 -> 9600) so that repeated calls search all rates. A
  // ready starter reached at 9600 with FastRsEnabled is asked for a faster rate, which is
  // then applied.
  [[nodiscard]] ConnectResult ConnectStarter();
  // Sends the identification request. The answer code when the exchange succeeded (nullopt
  // otherwise); on 0x92 data bytes 0..2 become FlashKind, PanelType and StarterVersion.
  [[nodiscard]] std::optional<std::uint8_t> IdentifyPanel();
  // Stores State().LinkToken in the panel (one exchange, reply not examined).
  void SetLinkToken();
  // True when the panel holds State().LinkToken; always true (nothing sent) for starters
  // below 0x52. Failed exchanges and wrong answers count as one kind, a different token as
  // the other; false at the fourth failure of a kind or on Stop.
  [[nodiscard]] bool CheckLinkToken();
  // Connects (up to 9 times, so three turns through the rates), then asks the starter to
  // start the panel's program (up to 3 times, until acknowledged). True once connected,
  // whether or not the restart was acknowledged; ends early on Stop.
  [[nodiscard]] bool RestartPanel();
  // Shows texts on the panel's keypads: both lines (title or not), only line 1, only line 2
  // or neither, each padded with blanks to 16 characters (only 16 are sent). One exchange,
  // the reply is not examined.
  void ShowKeypadText(const std::string& line1, const std::string& line2, bool title);
  // Asks the starter to start the starter updater; true on an acknowledged exchange.
  [[nodiscard]] bool RunStarterUpdate();

  // --- FLASH memory -----------------------------------------------------------------
  // Reads one byte at a 24-bit address.
  [[nodiscard]] bool ReadFlashByte(std::uint32_t address, std::uint8_t& value);
  // Reads the 256 bytes from address on; `page` is left unchanged on failure.
  [[nodiscard]] bool ReadFlashPage(std::uint32_t address,
                                   std::span<std::uint8_t, kFlashPageSize> page);
  // The panel's check values of the 512 bytes from address on.
  [[nodiscard]] bool ReadBlockCheck(std::uint32_t address, firmware::BlockCheckValues& values);
  // Erases 64 KB sector `sector` after checking the link token.
  [[nodiscard]] WriteStatus EraseFlashSector(std::uint8_t sector);
  // Programs the 256-byte page at `address` (a multiple of 256): in the short form when the
  // starter and the address allow it, else in full after the periodic token check (which
  // counts State().LinkTokenCountdown down and reloads it).
  [[nodiscard]] WriteStatus ProgramFlashPage(std::uint32_t address,
                                             std::span<const std::uint8_t, kFlashPageSize> page);

  // --- Settings memory --------------------------------------------------------------
  // Reads the 64 bytes from address on; `data` is left unchanged on failure.
  [[nodiscard]] bool ReadSettings(std::uint8_t area, std::uint16_t address,
                                  std::span<std::uint8_t, kSettingsChunk> data);
  // Reads one byte (the first of a 64-byte read).
  [[nodiscard]] bool ReadSettingsByte(std::uint8_t area, std::uint16_t address,
                                      std::uint8_t& value);
  // Writes 64 bytes. Sends nothing while State().SettingsWriteFailed is set; giving up (also
  // on Stop) sets it, and that flag is how a caller learns of the failure.
  void WriteSettings(std::uint8_t area, std::uint16_t address,
                     std::span<const std::uint8_t, kSettingsChunk> data);
  // Writes one byte; as WriteSettings, but gives up only on the failure counts, not on Stop.
  void WriteSettingsByte(std::uint8_t area, std::uint16_t address, std::uint8_t value);
  // Writes the bytes of `s` one by one from address on (addresses wrap at 16 bits).
  void WriteSettingsString(std::uint8_t area, std::uint16_t address, std::string_view s);
  // Recomputes the sum of the protected block starting at `block` from the panel's bytes and
  // writes its mark (0xFF) and sum. True when all four chunks were read twice alike; two
  // readings that differ set State().ReadingsDisagreed and write nothing. A block address that
  // is not the start of a block inside the protected range writes nothing and gives false; a
  // panel type or area without a table entry reports "ERROR 1" or "ERROR 2" and gives false.
  [[nodiscard]] bool UpdateSettingsCheck(std::uint8_t area, std::uint16_t block);
  // Writes one byte and refreshes the mark and sum of its block. An address outside the
  // protected range has no mark or sum: the byte alone is written and the result is true.
  [[nodiscard]] bool WriteSettingsByteChecked(std::uint8_t area, std::uint16_t address,
                                              std::uint8_t value);

  // --- The ST controller ------------------------------------------------------------
  // Passes `command` (1..255 bytes) to the ST. Accepted: a reply of `expectedCount` data
  // bytes (0 meaning 256), answer 0x92, data byte 0 equal to `expectedAnswer`; then `reply`
  // holds the data bytes and the result is true. A wrong reply asks the operator whether to
  // cancel (Yes sets Stop); every failure is followed by a 500 ms pause. Gives up (reply
  // empty, false) at the fourth failure of a kind or on Stop.
  [[nodiscard]] bool StCommand(std::span<const std::uint8_t> command, std::uint8_t wait,
                               std::uint8_t expectedAnswer, std::vector<std::uint8_t>& reply,
                               bool showProgress, std::uint8_t expectedCount);

 private:
  // The full program form checks the token every so many programs.
  bool TokenStillHeld();
  WriteStatus ProgramShort(std::uint32_t address);
  WriteStatus ProgramFull(std::uint32_t address,
                          std::span<const std::uint8_t, kFlashPageSize> page);

  Link& link_;
  StarterState state_;
  WriteCounts writes_;
};

}  // namespace korvex::link
