// The run's link token: four bytes that identify this run to the panel's starter, stored
// in the panel and read back until three checks in a row confirm it. FLASH writes check it
// again, so a panel that another program took over in between is not written.
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr int kConfirmingChecks = 3;
// Full page programs before the first periodic token check: this plus 0..kCountdownSpread-1.
constexpr std::uint8_t kFirstCountdownBase = 5;
constexpr int kFirstCountdownSpread = 9;
// A panel that has not confirmed the token after this many attempts to store it is not
// going to: the run ends instead of waiting for the operator to stop it.
constexpr int kMaxTokenStores = 8;

}  // namespace

PhaseOutcome SetUpLinkToken(Context& context) {
  shell::Session& session = context.session;
  link::StarterState& state = context.starter.State();
  state.LinkToken = {context.WindowHandleByte,
                     static_cast<std::uint8_t>(session.Time().TickMs() & 0xFF),
                     static_cast<std::uint8_t>(session.Random(256)),
                     static_cast<std::uint8_t>(session.Random(256))};
  state.LinkTokenCountdown =
      static_cast<std::uint8_t>(kFirstCountdownBase + session.Random(kFirstCountdownSpread));

  int confirmed = 0;
  int stores = 0;
  while (confirmed < kConfirmingChecks) {
    if (context.starter.CheckLinkToken()) {
      ++confirmed;
    } else {
      confirmed = 0;
      if (stores == kMaxTokenStores) {
        EndWithNoConnection(context);
        return PhaseOutcome::kEndRun;
      }
      ++stores;
      context.starter.SetLinkToken();
    }
    if (session.StopRequested) {
      session.ExitCode = shell::kExitNoConnection;
      return PhaseOutcome::kEndRun;
    }
  }
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
