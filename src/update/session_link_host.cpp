#include "update/session_link_host.h"

namespace korvex::update {

void SessionLinkHost::RateApplied(const std::string& text, bool opened) {
  session_.Op().SetStatusBarPort(text);
  if (!opened) session_.ExitCode = shell::kExitPortFailed;
}

void SessionLinkHost::ShowReceiveProgress(std::uint32_t elapsedMs, std::uint16_t budgetMs) {
  session_.Info1.KVprogress(static_cast<std::int32_t>(elapsedMs), budgetMs, 1);
}

bool SessionLinkHost::AskToCancel(const std::string& question) {
  const bool cancel = session_.ShowMessageBox(question, shell::MessageKind::kConfirmation, false);
  if (cancel) session_.StopRequested = true;
  return cancel;
}

void SessionLinkHost::ShowCommandError(const std::string& text) {
  session_.ShowMessageBox(text, shell::MessageKind::kError, true);
}

}  // namespace korvex::update
