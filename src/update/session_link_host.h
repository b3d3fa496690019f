// The link's host for a programming run: the session's clock, message turns and stop flag,
// and the run's decisions about link events: a port that cannot be opened at a rate makes
// the process exit code 2, the rate shows on the status bar, receive progress goes to the
// status panel, and the ST's unexpected answers and a missing settings table are put to the
// operator.
#pragma once

#include "link/link_host.h"
#include "shell/session.h"

namespace korvex::update {

class SessionLinkHost : public link::LinkHost {
 public:
  explicit SessionLinkHost(shell::Session& session) : session_(session) {}

  shell::Clock& Time() override { return session_.Time(); }
  void ProcessMessages() override { session_.ProcessMessages(); }
  bool StopRequested() const override { return session_.StopRequested; }
  int Random(int n) override { return session_.Random(n); }

  void RateApplied(const std::string& text, bool opened) override;
  void ShowReceiveProgress(std::uint32_t elapsedMs, std::uint16_t budgetMs) override;
  bool AskToCancel(const std::string& question) override;
  void ShowCommandError(const std::string& text) override;

 private:
  shell::Session& session_;
};

}  // namespace korvex::update
