#include "firmware/open_file.h"

#include <filesystem>

#include "display/kv_status.h"
#include "firmware/firmware_check.h"
#include "firmware/identity.h"
#include "shell/file_names.h"
#include "shell/util.h"

namespace korvex::firmware {

namespace {

std::string AbsoluteName(const std::string& name) {
  try {
    if (name.empty()) return name;
    return shell::Utf8FromPath(
        std::filesystem::absolute(shell::PathFromUtf8(name)).lexically_normal());
  } catch (const std::exception&) {
    return name;  // no current folder to resolve against: the name stays as given
  }
}

void ReportInvalid(shell::Session& session) {
  session.ExitCode = shell::kExitBadFile;
  session.Info1.KVstatus("ERROR", 0, display::kAttrBoldRed);
  session.Info1.KVadd("");
  session.Info1.KVadd(kAttentionLine1);
  session.Info1.KVadd(kAttentionLine2);
}

void ReportMissing(shell::Session& session, const std::string& name, char open, char close) {
  session.ShowMessageBox(shell::ShortText(kFileMissingText + std::string(1, open) + name + close),
                         shell::MessageKind::kError, true);
  session.ExitCode = shell::kExitBadFile;
}

}  // namespace

std::string DefaultDialogPreset() {
  return shell::ShortText(shell::Utf8FromPath(shell::ProgramFolder() / "*.qfw"));
}

bool OpenFile(shell::Session& session, FirmwareImage& image, bool forceDialog,
              const ScrambleKey& key) {
  const bool showDialog = session.FirmwareFileName.empty() || forceDialog;
  std::string chosen =
      session.FirmwareFileName.empty() ? DefaultDialogPreset() : session.FirmwareFileName;
  if (showDialog) {
    const auto choice = session.Op().ChooseFirmwareFile(chosen);
    if (!choice) return false;
    chosen = *choice;
  }

  session.Op().ShowDescription("");
  session.Info1.KVclear();
  const std::string name = shell::ShortText(AbsoluteName(chosen));

  FileCheckHooks hooks;
  hooks.waitAfterOpenFailure = [&session] {
    session.Time().SleepMs(
        static_cast<std::uint32_t>(kOpenRetryBaseMs + session.Random(kOpenRetryRandomMs)));
  };
  hooks.opened = [&session] { session.Info1.KVadd(kFileCheckingLine); };
  hooks.progress = [&session](std::int32_t done, std::int32_t total) {
    session.Info1.KVprogress(done, total, 1);
  };
  hooks.processMessages = [&session] { session.ProcessMessages(); };
  hooks.stopRequested = [&session] { return session.StopRequested; };

  const FileCheckResult result = CheckFirmwareFile(name, image, hooks, key);
  switch (result.verdict) {
    case FileVerdict::kCannotOpen:
      ReportMissing(session, name, '(', ')');
      return false;
    case FileVerdict::kStCannotReopen:
      ReportMissing(session, name, '[', ']');
      return false;
    case FileVerdict::kInvalid:
      ReportInvalid(session);
      return false;
    case FileVerdict::kValid:
      break;
  }

  session.Info1.KVstatus("   ok", 0, display::kAttrPlain);
  session.Op().SetStatusBarFile(shell::ShortText(" " + name));
  session.Op().ShowDescription(image.FileDescription);
  bool accepted = true;
  if (!VersionSupported(image.FileVersionText.substr(0, 3))) {
    session.Op().SetDescriptionEnabled(false);
    session.FirmwareFileName.clear();
    if (!session.StopRequested) {
      session.ShowMessageBox(kVersionRangeMessage, shell::MessageKind::kError, true);
    }
    accepted = false;
  } else {
    session.Op().SetDescriptionEnabled(true);
    session.FirmwareFileName = name;
  }
  return accepted;
}

}  // namespace korvex::firmware
