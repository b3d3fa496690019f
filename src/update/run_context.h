// The state a programming run shares between its phases: the shell session, the firmware
// image, the serial link and the starter commands, the run flags and the facts the
// identification learns about the panel. One per process (the Application owns it); a new
// run overwrites the panel facts, and FlashWritten outlives every run.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/identity.h"
#include "link/link.h"
#include "link/starter.h"
#include "shell/session.h"
#include "update/updater_images.h"

namespace korvex::update {

// What a phase tells the run driver.
enum class PhaseOutcome {
  kGoOn,                // continue with the next phase
  kSkipToVerification,  // nothing to write: continue at the verification gate
  kEndRun,              // leave the run now, without a further message or restart
};

struct Context {
  Context(shell::Session& sessionRef, firmware::FirmwareImage& imageRef, link::Link& linkRef,
          link::Starter& starterRef, std::uint8_t handleByte)
      : session(sessionRef),
        image(imageRef),
        link(linkRef),
        starter(starterRef),
        WindowHandleByte(handleByte) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  shell::Session& session;         // operator, clock, status panel, ExitCode, main window flags
  firmware::FirmwareImage& image;  // the opened firmware file (file variant: image.VarekVariant)
  link::Link& link;                // the line: PumpWait, ReceiveReply, the rate and KVRS
  link::Starter& starter;          // starter commands; FlashKind, PanelType and StarterVersion
                                   // live in starter.State()

  // The first byte of every link token: stands for this application instance, so that two
  // programs talking to panels on one machine make different tokens.
  std::uint8_t WindowHandleByte;

  // The starter updater images a starter update chooses from: the ones built into the
  // program, unless a test gives others.
  std::span<const std::uint8_t> UpdaterImages = BuiltInUpdaterImages();

  // Run flags; all but FlashWritten are cleared when a run starts.
  bool UnattendedRun = false;      // started by the automatic mode: no questions are asked
  bool OperatorConfirmed = false;  // the operator agreed to program, or the starter was replaced
  bool ProgramsIdentical = false;  // the panel already holds the file's program
  bool PanelVarekVariant = false;  // the program in the panel is the VAREK variant
  bool BackUpMade = false;         // the --backup read-out of this run is in its folder
  // Something was written to a panel (erase, ST update or starter update began) in this or
  // an earlier run of the process. Never cleared.
  bool FlashWritten = false;
  // Writing of the ST program or of a new starter began in the current operation (for the
  // run report); cleared when an operation starts.
  bool StWritingBegan = false;
  bool StarterWritingBegan = false;
  // This run changed the panel's memory (FLASH, settings or the ST program): it can no
  // longer end as if nothing had been run.
  bool RunWrote = false;

  // Panel facts of the last identification.
  std::uint8_t StarterLanguage = 0;  // FLASH byte 0x71FF9
  // The decoded identity block of the program in the panel. For an unrecognised program
  // `recognised` is false and `languageCode` is StarterLanguage.
  firmware::IdentityHeader PanelIdentity;
  // 11 version and date characters + the beta number in 3 digits; the one byte 0xFF for an
  // unrecognised program.
  std::string PanelVersionText;
  std::string PanelDescription;  // the description line of the program in the panel
};

}  // namespace korvex::update
