// Connecting to the starter: the connect request is repeated (stepping through the bit rates)
// while the status blinks a hint for the operator, who may have to start the starter from
// the panel's service menu.
#include <string>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr std::uint32_t kConnectTimeoutMs = 120000;
// A starter that refuses this many connect requests has a FLASH it cannot work with.
constexpr int kConnectRefusalLimit = 8;
constexpr const char* kStarterHint = "Run Service mode -> Restarts -> STARTER";
// Wide enough to cover the hint.
constexpr std::size_t kHintBlankWidth = 39;

}  // namespace

PhaseOutcome ConnectPhase(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;
  const std::string blank(kHintBlankWidth, ' ');

  info.KVadd("Connecting");
  int refusals = 0;
  bool blink = false;
  std::uint32_t elapsedMs = 0;
  auto last = static_cast<std::uint16_t>(session.Time().TickMs());
  bool connected = false;
  do {
    const link::ConnectResult result = context.starter.ConnectStarter();
    if (result == link::ConnectResult::kConnected) {
      connected = true;
    } else if (result == link::ConnectResult::kRefused && ++refusals >= kConnectRefusalLimit) {
      // Clear the hint first so that the verdict does not run into its remains.
      info.KVstatus(blank, 0, display::kAttrPlain);
      info.KVstatus("bad FLASH version", 0, display::kAttrPlain);
      return PhaseOutcome::kEndRun;
    }
    if (!connected) {
      blink = !blink;
      info.KVstatus(kStarterHint, 0, blink ? display::kAttrBold : display::kAttrBoldGreen);
    }
    const auto now = static_cast<std::uint16_t>(session.Time().TickMs());
    elapsedMs += static_cast<std::uint16_t>(now - last);
    last = now;
  } while (!connected && elapsedMs <= kConnectTimeoutMs && !session.StopRequested);

  info.KVstatus(blank, 0, display::kAttrPlain);
  if (!connected) {
    EndWithNoConnection(context);
    return PhaseOutcome::kEndRun;
  }
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  info.KVadd("FLASH type");
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
