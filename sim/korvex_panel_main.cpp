// korvex-panel: a simulated SOLANTA panel on a pseudo-terminal, for end-to-end tests and
// demonstrations. It prints the port's path on its first line of output, serves until it is
// told to end (SIGINT, SIGTERM, or --exit-after-ms), and then dumps the panel's memories.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/panel_preset.h"
#include "sim/pty_server.h"

namespace {

using korvex::sim::PanelPreset;

constexpr int kExitOk = 0;
constexpr int kExitSetupFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage = R"(Usage: korvex-panel [options]

Serves a simulated SOLANTA panel (its starter, FLASH, settings memory, ST controller and
starter updater) on a pseudo-terminal. The first line written to standard output is the
port's device path; programs open it like a serial port.

Panel:
  --preset FILE          apply a preset file of "key = value" lines (see --keys); a state.cfg
                         written by --dump-dir is one
  --set KEY=VALUE        set one key (applied in command-line order, after earlier options)
  --fault KEY=VALUE      the same as --set fault.KEY=VALUE
  --panel-type N         the same as --set panel_type=N
  --flash-kind N         the same as --set flash_kind=N
  --starter-version V    the same as --set starter_version=V (0x61 is 6.1)
  --program SOURCE       the same as --set program=SOURCE (sample, blank, garbage, raw:FILE,
                         qfw:FILE)
  --st-kind K            the same as --set st_kind=K (auto, none, A, B, C)
  --seed N               the same as --set seed=N
  --keys                 list every preset key and exit

Timing (both off unless asked for, so tests run fast):
  --pace                 send replies at the real bit rate (10 bit times per byte)
  --chip-times           add the FLASH chip's erase and program times, the settings memory's
                         write time and the ST controller's times (see sim/README.md)
  --realistic            both --pace and --chip-times

Serving:
  --link PATH            place a symbolic link to the port at PATH (removed at the end)
  --ready-file PATH      once the port is ready, write its path (one line) to PATH
  --log FILE             write a line for every decoded request, reply, fault and change of
                         mode to FILE
  --dump-dir DIR         at the end write flash.bin, settings1.bin, settings2.bin, st.bin,
                         state.cfg, keypad.txt and violations.txt into DIR
  --exit-after-ms N      end after N milliseconds
  --help                 show this text

Signals: SIGINT and SIGTERM end the program (after the dump); SIGUSR1 makes the panel enter
its starter from the service menu (as after "Run Service mode -> Restarts -> STARTER");
SIGUSR2 switches the panel's power off and on.

The PC's bit rate is read from the terminal settings whenever bytes arrive; bytes sent at a
rate the panel does not listen on are dropped as garbage. The port survives the PC closing
and reopening it. A pseudo-terminal has no modem lines: the PC reads CTS as off, so its
wait for the panel to come up after a restart always runs to its full time.

Exit status: 0 after a normal end, 1 when the panel or the port could not be set up or the
dump failed, 2 for a bad command line.
)";

struct Options {
  PanelPreset preset;
  std::string linkPath;
  std::string readyFile;
  std::string logFile;
  std::string dumpDir;
  std::optional<std::uint64_t> exitAfterMs;
};

bool ApplyKeyValue(PanelPreset& preset, const std::string& prefix, const std::string& text,
                   std::string* error) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) {
    *error = "expected KEY=VALUE: " + text;
    return false;
  }
  return korvex::sim::ApplyPresetSetting(preset, prefix + text.substr(0, eq), text.substr(eq + 1),
                                         error);
}

// Parses the command line; nullopt after printing the reason (or the help) with the exit
// status in *status.
std::optional<Options> ParseOptions(int argc, char** argv, int* status) {
  Options options;
  options.preset.config.wireTime = false;
  options.preset.config.chipTimes = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  auto usageError = [&](const std::string& text) {
    std::cerr << "korvex-panel: " << text << "\nTry korvex-panel --help.\n";
    *status = kExitUsage;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    std::string error;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      *status = kExitOk;
      return std::nullopt;
    }
    if (arg == "--keys") {
      for (const auto& [key, help] : korvex::sim::PresetKeyHelp()) {
        std::cout << "  " << key << std::string(key.size() < 26 ? 26 - key.size() : 1, ' ') << help
                  << "\n";
      }
      *status = kExitOk;
      return std::nullopt;
    }
    if (arg == "--pace" || arg == "--realistic") options.preset.config.wireTime = true;
    if (arg == "--chip-times" || arg == "--realistic") options.preset.config.chipTimes = true;
    if (arg == "--pace" || arg == "--chip-times" || arg == "--realistic") continue;

    static const std::vector<std::pair<std::string, std::string>> kShortcuts = {
        {"--panel-type", "panel_type"},
        {"--flash-kind", "flash_kind"},
        {"--starter-version", "starter_version"},
        {"--program", "program"},
        {"--st-kind", "st_kind"},
        {"--seed", "seed"}};
    bool known = true;
    bool ok = true;
    const auto shortcut = std::find_if(kShortcuts.begin(), kShortcuts.end(),
                                       [&](const auto& s) { return s.first == arg; });
    const auto v = value();
    if (!v) return usageError(arg + " needs a value");
    if (shortcut != kShortcuts.end()) {
      ok = korvex::sim::ApplyPresetSetting(options.preset, shortcut->second, *v, &error);
    } else if (arg == "--preset") {
      ok = korvex::sim::ApplyPresetFile(options.preset, *v, &error);
    } else if (arg == "--set") {
      ok = ApplyKeyValue(options.preset, "", *v, &error);
    } else if (arg == "--fault") {
      ok = ApplyKeyValue(options.preset, "fault.", *v, &error);
    } else if (arg == "--link") {
      options.linkPath = *v;
    } else if (arg == "--ready-file") {
      options.readyFile = *v;
    } else if (arg == "--log") {
      options.logFile = *v;
    } else if (arg == "--dump-dir") {
      options.dumpDir = *v;
    } else if (arg == "--exit-after-ms") {
      const auto n = korvex::sim::ParseNumber(*v);
      if (!n) return usageError("bad number for --exit-after-ms: " + *v);
      options.exitAfterMs = *n;
    } else {
      known = false;
    }
    if (!known) return usageError("unknown option " + arg);
    if (!ok) return usageError(error);
  }
  return options;
}

std::string Timestamp(std::uint64_t us) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "[%8llu.%06llu] ", static_cast<unsigned long long>(us / 1000000),
                static_cast<unsigned long long>(us % 1000000));
  return buf;
}

bool WriteReadyFile(const std::string& path, const std::string& port) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << port << "\n";
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  int status = kExitOk;
  std::optional<Options> options = ParseOptions(argc, argv, &status);
  if (!options) return status;

  std::string error;
  std::unique_ptr<korvex::sim::PanelModel> panel = korvex::sim::BuildPanel(options->preset, &error);
  if (!panel) {
    std::cerr << "korvex-panel: " << error << "\n";
    return kExitSetupFailed;
  }

  std::ofstream log;
  if (!options->logFile.empty()) {
    log.open(options->logFile, std::ios::trunc);
    if (!log) {
      std::cerr << "korvex-panel: cannot write " << options->logFile << "\n";
      return kExitSetupFailed;
    }
  }
  auto logLine = [&log](std::uint64_t us, const std::string& line) {
    if (log.is_open()) log << Timestamp(us) << line << std::endl;
  };
  panel->SetLogSink(logLine);

  // Signals arrive through a descriptor the serving loop watches, so nothing runs inside a
  // signal handler.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&signals, s);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int signalFd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signalFd < 0) {
    std::cerr << "korvex-panel: signalfd: " << std::strerror(errno) << "\n";
    return kExitSetupFailed;
  }

  korvex::sim::PtyServer server(*panel);
  server.SetLogSink(logLine);
  if (!server.Open(&error) ||
      (!options->linkPath.empty() && !server.PlaceLink(options->linkPath, &error))) {
    std::cerr << "korvex-panel: " << error << "\n";
    close(signalFd);
    return kExitSetupFailed;
  }
  server.Watch(signalFd, [&]() {
    signalfd_siginfo info{};
    while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      switch (info.ssi_signo) {
        case SIGUSR1:
          logLine(server.NowUs(), "SIGUSR1: the operator makes the panel enter its starter");
          panel->EnterStarter(server.NowUs());
          break;
        case SIGUSR2:
          logLine(server.NowUs(), "SIGUSR2: the panel's power goes off and on");
          panel->PowerCycle(server.NowUs());
          break;
        default:
          logLine(server.NowUs(),
                  std::string("ending on ") + strsignal(static_cast<int>(info.ssi_signo)));
          return false;
      }
    }
    return true;
  });

  // The ready file first: a test that saw the printed path may look for it at once.
  if (!options->readyFile.empty() && !WriteReadyFile(options->readyFile, server.PortPath())) {
    std::cerr << "korvex-panel: cannot write " << options->readyFile << "\n";
    close(signalFd);
    return kExitSetupFailed;
  }
  logLine(server.NowUs(), "serving on " + server.PortPath());
  std::cout << server.PortPath() << std::endl;

  server.Run(options->exitAfterMs);

  logLine(server.NowUs(), std::to_string(panel->RequestCount()) + " requests heard, " +
                              std::to_string(panel->Violations().size()) + " violations");
  for (const korvex::sim::Violation& v : panel->Violations()) {
    std::cerr << "korvex-panel: violation at request #" << v.seq << ": " << v.text << "\n";
  }
  int result = kExitOk;
  if (!options->dumpDir.empty() && !korvex::sim::DumpPanel(*panel, options->dumpDir, &error)) {
    std::cerr << "korvex-panel: " << error << "\n";
    result = kExitSetupFailed;
  }
  close(signalFd);
  return result;
}
