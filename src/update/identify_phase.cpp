// The identification loop: which FLASH chip, panel type and starter the panel has, which
// program it holds, the run's link token and the starter check. A pass that loses a reply is
// repeated (for a good while: the panel may be busy); a starter update makes the loop
// identify the panel anew.
//
// In a Program run what the panel reports decides what is written (a starter replacement,
// the command codes, the settings conversions), and a reply's check bytes let some two-bit
// errors through: the identification and the identity of the program in the panel are read
// a second time, and two readings that disagree end the run as a lost connection.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "display/kv_status.h"
#include "firmware/identity.h"
#include "update/panel_readout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr std::uint32_t kStarterLanguageAddress = 0x71FF9;
constexpr std::uint16_t kMaxIdentityRetries = 546;
// After this many failed passes in a row the operator is told that the run is waiting.
constexpr std::uint16_t kWaitingRetries = 2;

constexpr std::array<const char*, 10> kFlashKindNames = {
    nullptr,       "ATMEL AT29C040A", "AMD Am29F040",  "Macronix MX29F040",  "Winbond W29C040",
    "ST M29F040B", "AMIC A29040B",    "EON EN29F040A", "MACRONIX MX29F040C", "MICROCHIP SST39SF040",
};

constexpr std::uint8_t kHighestPanelType = 8;

enum class PassResult { kDone, kRetry, kReplaced, kEndRun };

// The text for an identify answer other than data.
const char* AnswerErrorText(std::uint8_t answer) {
  switch (answer) {
    case link::kAnswerDone:
      return "ERROR (ok)";
    case link::kAnswerError:
      return "ERROR (Error)";
    case link::kAnswerBadCommand:
      return "ERROR (bad command)";
    default:
      return "ERROR (bad answer)";
  }
}

std::string UnknownModelName(int code) {
  return "SOLANTA ??? (" + std::to_string(code) + ")";
}

enum class Reading { kRead, kFailed, kDisagrees };

using IdentityBlock = std::array<std::uint8_t, firmware::kIdentityBlockSize>;

// The identity block as the page read gives it: the first bytes at the identity address and
// the beta number further on in the same page.
Reading ConfirmIdentityBlock(Context& context, const IdentityBlock& block) {
  static_assert(firmware::kIdentityBetaAddress - firmware::kIdentityAddress < link::kFlashPageSize);
  std::array<std::uint8_t, link::kFlashPageSize> page{};
  if (!context.starter.ReadFlashPage(firmware::kIdentityAddress, page)) return Reading::kFailed;
  const bool same =
      std::equal(block.begin(), block.end() - 1, page.begin()) &&
      block.back() == page[firmware::kIdentityBetaAddress - firmware::kIdentityAddress];
  return same ? Reading::kRead : Reading::kDisagrees;
}

// Reads and decodes the identity block of the program in the panel.
Reading ReadPanelIdentity(Context& context) {
  IdentityBlock block{};
  for (std::uint32_t i = 0; i + 1 < block.size(); ++i) {
    if (!context.starter.ReadFlashByte(firmware::kIdentityAddress + i, block[i])) {
      return Reading::kFailed;
    }
  }
  if (!context.starter.ReadFlashByte(firmware::kIdentityBetaAddress, block.back())) {
    return Reading::kFailed;
  }
  if (context.session.ProgramMode) {
    const Reading confirmation = ConfirmIdentityBlock(context, block);
    if (confirmation != Reading::kRead) return confirmation;
  }

  firmware::IdentityHeader header = firmware::DecodeIdentityBlock(block);
  if (header.recognised) {
    const auto info = firmware::PanelTypeFromRaw(header.rawType);
    const int code = info ? info->panelType : header.rawType;
    const std::string model =
        code <= kHighestPanelType && info ? firmware::ModelName(code) : UnknownModelName(code);
    context.PanelVersionText = firmware::MakeFileVersionText(header);
    context.PanelDescription = firmware::BuildDescription(model, header);
  } else {
    // An unrecognised program speaks the starter's language.
    header.languageCode = context.StarterLanguage;
    header.betaNumber = 0;
    header.varekVariant = false;
    context.PanelVersionText = std::string(1, '\xFF');
    context.PanelDescription = "??? " + firmware::LanguageName(context.StarterLanguage);
  }
  context.PanelVarekVariant = header.varekVariant;
  context.PanelIdentity = header;
  return Reading::kRead;
}

// Asks for the identification a second time; it must repeat flash kind, type and version.
Reading ConfirmIdentification(Context& context) {
  const link::StarterState first = context.starter.State();
  // A second identification stores its facts over the first; they must be the same.
  const std::optional<std::uint8_t> answer = context.starter.IdentifyPanel();
  if (!answer || *answer != link::kAnswerData) return Reading::kFailed;
  const link::StarterState& second = context.starter.State();
  const bool same = second.FlashKind == first.FlashKind && second.PanelType == first.PanelType &&
                    second.StarterVersion == first.StarterVersion;
  return same ? Reading::kRead : Reading::kDisagrees;
}

bool StarterCheckApplies(const Context& context) {
  const std::uint8_t kind = context.starter.State().FlashKind;
  return context.session.ProgramMode && !context.session.StOnlyRequested &&
         (kind == 1 || (kind >= 4 && kind <= 9));
}

bool BackUpDue(const Context& context) {
  return context.session.ProgramMode && !context.session.Options.backupDir.empty() &&
         !context.BackUpMade;
}

PassResult IdentifyPass(Context& context) {
  display::TKVStatus& info = context.session.Info1;
  link::StarterState& state = context.starter.State();

  if (!context.starter.ReadFlashByte(kStarterLanguageAddress, context.StarterLanguage)) {
    return PassResult::kRetry;
  }
  const std::optional<std::uint8_t> answer = context.starter.IdentifyPanel();
  if (!answer) return PassResult::kRetry;
  if (*answer != link::kAnswerData) {
    EndWithError(context, AnswerErrorText(*answer));
    return PassResult::kEndRun;
  }
  if (context.session.ProgramMode) {
    switch (ConfirmIdentification(context)) {
      case Reading::kRead:
        break;
      case Reading::kFailed:
        return PassResult::kRetry;
      case Reading::kDisagrees:
        EndWithNoConnection(context);
        return PassResult::kEndRun;
    }
  }

  if (state.FlashKind == 0 || state.FlashKind >= kFlashKindNames.size()) {
    EndWithError(context, ("??? (" + std::to_string(state.FlashKind) + ")").c_str());
    return PassResult::kEndRun;
  }
  info.KVstatus(FlashKindName(state.FlashKind), 0, display::kAttrPlain);

  info.KVadd("Panel type");
  if (state.PanelType > kHighestPanelType) {
    EndWithError(context, UnknownModelName(state.PanelType).c_str());
    return PassResult::kEndRun;
  }
  info.KVstatus(firmware::ModelName(state.PanelType), 0, display::kAttrPlain);

  if (ReadPanelIdentity(context) != Reading::kRead) {
    EndWithNoConnection(context);
    return PassResult::kEndRun;
  }

  info.KVadd("Starter version");
  if (state.StarterVersion >= link::kFirstTokenStarter &&
      SetUpLinkToken(context) == PhaseOutcome::kEndRun) {
    return PassResult::kEndRun;
  }
  info.KVstatus(StarterVersionText(state.StarterVersion, context.StarterLanguage), 0,
                display::kAttrPlain);

  // The back-up comes before the starter check, which may replace the starter: the first
  // thing a Program run can write.
  if (BackUpDue(context)) {
    if (!BackUpPanel(context, context.session.Options.backupDir)) return PassResult::kEndRun;
    context.BackUpMade = true;
  }

  if (StarterCheckApplies(context)) {
    switch (StarterCheck(context)) {
      case StarterCheckResult::kSound:
        break;
      case StarterCheckResult::kReplaced:
        return PassResult::kReplaced;
      case StarterCheckResult::kEndRun:
        return PassResult::kEndRun;
    }
  }
  return PassResult::kDone;
}

}  // namespace

const char* FlashKindName(std::uint8_t flashKind) {
  return flashKind < kFlashKindNames.size() ? kFlashKindNames[flashKind] : nullptr;
}

std::string PlainModelName(int panelType) {
  const std::string name = firmware::ModelName(panelType);
  const auto first = name.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : name.substr(first);
}

std::string StarterVersionText(std::uint8_t version, std::uint8_t language) {
  std::string text;
  text += static_cast<char>(0x30 + (version >> 4));
  text += '.';
  text += static_cast<char>(0x30 + (version & 0x0F));
  text += ' ';
  return text + firmware::LanguageName(language);
}

PhaseOutcome IdentifyPhase(Context& context) {
  shell::Session& session = context.session;
  std::uint16_t identityRetries = 0;
  do {
    switch (IdentifyPass(context)) {
      case PassResult::kDone:
        identityRetries = 0;
        break;
      case PassResult::kRetry:
        ++identityRetries;
        break;
      case PassResult::kReplaced:
        // Identify the new starter from the start.
        identityRetries = 1;
        session.Info1.KVadd("FLASH type");
        break;
      case PassResult::kEndRun:
        return PhaseOutcome::kEndRun;
    }
    if (identityRetries == kWaitingRetries) {
      session.Info1.KVstatus("waiting...", 0, display::kAttrPlain);
    }
  } while (identityRetries >= 1 && identityRetries <= kMaxIdentityRetries &&
           !session.StopRequested);

  if (identityRetries != 0) {
    EndWithNoConnection(context);
    return PhaseOutcome::kEndRun;
  }
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
