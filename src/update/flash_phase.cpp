// Replacing the panel's program: the six 64 KB sectors of the program area are erased and
// the image is written page by page. The page that holds the program's identity is written
// right after its sector is erased, so a panel interrupted later still identifies the
// program it is getting.
#include <algorithm>
#include <array>
#include <span>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/flash_keypad.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr int kPercentPerSector = 20;

using Page = std::array<std::uint8_t, link::kFlashPageSize>;

Page ImagePage(const Context& context, std::uint32_t address) {
  Page page{};
  context.image.ImageGet(address, page);
  return page;
}

// The share of the program area below `address`, to the nearest whole percent.
int ProgrammingPercent(std::uint32_t address) {
  return static_cast<int>((static_cast<std::uint64_t>(address) * 100 + kProgramAreaSize / 2) /
                          kProgramAreaSize);
}

// False when the write failed; the run has then been ended with the right verdict.
bool WriteSucceeded(Context& context, link::WriteStatus status) {
  if (status == link::WriteStatus::kDone) return true;
  // A write that failed because the operator stopped is a stop, not a panel fault.
  if (status == link::WriteStatus::kNoReply || context.session.StopRequested) {
    EndWithNoConnection(context);
  } else {
    // The panel refused: the program area is erased or half written, which is no success.
    EndWithError(context, display::kVerdictError, shell::kExitNoConnection);
  }
  return false;
}

}  // namespace

PhaseOutcome EraseAndProgram(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;

  info.KVadd("FLASH erasing");
  MarkFlashWritten(context);
  for (std::uint8_t sector = 0; sector < kProgramSectors; ++sector) {
    info.KVprogress(sector, kProgramSectors - 1, 1);
    if (!context.UnattendedRun) {
      ShowKeypadLine(context, KeypadPercentText("Erasing     ", sector * kPercentPerSector));
    }
    if (!WriteSucceeded(context, context.starter.EraseFlashSector(sector))) {
      return PhaseOutcome::kEndRun;
    }
    if (sector == kEarlyPageSector) {
      // Written whatever it holds, also when it is erased throughout.
      const Page page = ImagePage(context, kEarlyPage);
      if (!WriteSucceeded(context, context.starter.ProgramFlashPage(kEarlyPage, page))) {
        return PhaseOutcome::kEndRun;
      }
    }
  }
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);

  KeypadProgress keypad(kProgrammingKeypadStep);
  info.KVadd("FLASH programming");
  for (std::uint32_t address = 0; address < kProgramAreaSize && !session.StopRequested;
       address += link::kFlashPageSize) {
    if (address == kEarlyPage) continue;
    const int percent = ProgrammingPercent(address);
    info.KVprogress(percent, 0, 1);
    keypad.Show(context, "Programming ", percent);
    const Page page = ImagePage(context, address);
    // Erased FLASH already holds a page of 0xFF.
    if (std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0xFF; })) continue;
    if (!WriteSucceeded(context, context.starter.ProgramFlashPage(address, page))) {
      return PhaseOutcome::kEndRun;
    }
  }
  if (session.StopRequested) {
    // The program area is incomplete: the line must not claim success.
    session.ExitCode = shell::kExitNoConnection;
    return PhaseOutcome::kEndRun;
  }
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
