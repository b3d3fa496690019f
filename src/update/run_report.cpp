#include "update/run_report.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>

#include "firmware/identity.h"
#include "link/link.h"
#include "shell/about.h"
#include "shell/file_digest.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr std::string_view kToolName = "KORVEX";

// "1.24 2025-03-12 SK": the about text's version line without the name.
std::string ToolVersion() {
  const std::string_view line = shell::kAboutVersionLine;
  return std::string(line.substr(line.find(' ') + 1));
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "success", "failed", "stopped" or "timed out": how the operation ended.
std::string Outcome(const shell::Session& session) {
  if (session.TimedOut) return "timed out";
  if (session.ExitCode == shell::kExitNothingWritten || session.ExitCode == shell::kExitWritten) {
    return "success";
  }
  return session.StopRequested ? "stopped" : "failed";
}

nlohmann::json FileFacts(const Context& context) {
  const std::string& path = context.session.FirmwareFileName;
  if (path.empty()) return nullptr;
  const std::optional<std::string> digest = shell::FileSha256Hex(path);
  return {{"path", path},
          {"sha256", digest ? nlohmann::json(*digest) : nlohmann::json(nullptr)},
          {"description", context.image.FileDescription}};
}

nlohmann::json PortFacts(const Context& context) {
  const link::Link& line = context.link;
  const std::uint16_t rate = line.RateIndex() < link::kLinkRates.size() ? line.RateIndex() : 0;
  const shell::Session& session = context.session;
  return {
      {"name", line.KVRS().SelectedPort()},
      {"bit_rate", link::kLinkRates[rate]},
      {"adapter_latency_ms", session.AdapterLatencyMs ? nlohmann::json(*session.AdapterLatencyMs)
                                                      : nlohmann::json(nullptr)}};
}

nlohmann::json PanelFacts(const Context& context) {
  const link::StarterState& state = context.starter.State();
  if (state.FlashKind == 0) return nullptr;  // never identified
  const char* flashName = FlashKindName(state.FlashKind);
  return {{"flash_type", flashName ? flashName : "?"},
          {"panel_type", PlainModelName(state.PanelType)},
          {"starter_version", StarterVersionText(state.StarterVersion, context.StarterLanguage)},
          {"program_before", context.PanelDescription}};
}

}  // namespace

void PhaseRecorder::Start() {
  phases_.clear();
  open_ = false;
  startTick_ = clock_.TickMs();
}

std::uint64_t PhaseRecorder::NowMs() {
  return static_cast<std::uint32_t>(clock_.TickMs() - startTick_);
}

void PhaseRecorder::Finish() {
  if (open_) phases_.back().endMs = NowMs();
  open_ = false;
}

void PhaseRecorder::StatusPanelChanged(const display::TKVStatus& panel) {
  if (panel.LineSerial() != lineSerial_ && panel.CurrentLine() > 0) {
    lineSerial_ = panel.LineSerial();
    Finish();
    phases_.push_back({Trimmed(panel.LineAt(panel.CurrentLine()).text), NowMs(), NowMs(), ""});
    open_ = true;
  } else if (open_ && !panel.ShadedFromPercent()) {
    // A verdict, not a progress percentage.
    phases_.back().verdict = Trimmed(panel.StatusText());
  }
  next_.StatusPanelChanged(panel);
}

std::string RunReportJson(const Context& context, const std::string& operation,
                          const std::vector<PhaseRecord>& phases) {
  const shell::Session& session = context.session;
  nlohmann::json phaseList = nlohmann::json::array();
  for (const PhaseRecord& phase : phases) {
    phaseList.push_back({{"name", phase.name},
                         {"start_ms", phase.startMs},
                         {"end_ms", phase.endMs},
                         {"verdict", phase.verdict}});
  }
  const link::ExchangeCounts& exchanges = context.link.Exchanges();
  const link::WriteCounts& writes = context.starter.Writes();
  const nlohmann::json report = {
      {"tool", {{"name", kToolName}, {"version", ToolVersion()}}},
      {"operation", operation},
      {"file", FileFacts(context)},
      {"port", PortFacts(context)},
      {"panel", PanelFacts(context)},
      {"phases", phaseList},
      {"exchanges",
       {{"requests", exchanges.requests},
        {"attempts", exchanges.attempts},
        {"failed", exchanges.failed},
        {"wrong_answers", exchanges.wrongAnswers}}},
      {"written",
       {{"flash_sectors_erased", writes.sectorsErased},
        {"flash_pages", writes.pagesProgrammed},
        {"st", context.StWritingBegan},
        {"starter", context.StarterWritingBegan},
        {"settings_writes", writes.settingsWrites}}},
      {"outcome", Outcome(session)},
      {"timed_out", session.TimedOut},
      {"exit_code", session.ExitCode},
  };
  return report.dump(2) + "\n";
}

bool WriteRunReport(const std::filesystem::path& path, const std::string& json,
                    std::string& error) {
  std::filesystem::path temporary = path;
  temporary += ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << json;
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      error = "cannot write the report " + path.string();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    error = "cannot write the report " + path.string();
    return false;
  }
  return true;
}

}  // namespace korvex::update
