// Choosing and checking the firmware file in front of the operator: the file dialog, the
// "File checking" line with its progress, the verdict, the description label and the
// version range. Every programming run calls it again without the dialog, so a file that
// changed on disk since it was chosen is examined anew.
#pragma once

#include <string>

#include "firmware/firmware_image.h"
#include "firmware/scramble_key.h"
#include "shell/session.h"

namespace korvex::firmware {

inline constexpr const char* kFileCheckingLine = "File checking";
inline constexpr const char* kAttentionLine1 = "ATTENTION:  selected file is not";
inline constexpr const char* kAttentionLine2 = "            a SOLANTA program file !!!";
inline constexpr const char* kFileMissingText = "Selected file does not exist.\n";
// A failed open attempt is followed by a wait of this many milliseconds plus a random part.
inline constexpr int kOpenRetryBaseMs = 120;
inline constexpr int kOpenRetryRandomMs = 120;

// Lets the operator choose a file (when none is chosen yet or forceDialog is set), checks it
// and shows the outcome. True when the file was accepted: session.FirmwareFileName then
// names it and `image` holds it. Never raises.
bool OpenFile(shell::Session& session, FirmwareImage& image, bool forceDialog,
              const ScrambleKey& key = ConfiguredKey());

// The dialog's preset when no file is chosen: the program's own folder followed by "*.qfw".
std::string DefaultDialogPreset();

}  // namespace korvex::firmware
