#include "shell/command_line.h"

#include <algorithm>

#include "shell/integer_text.h"
#include "shell/session.h"
#include "shell/util.h"

namespace korvex::shell {

namespace {

constexpr std::string_view kOnlySuffix = "only";
constexpr std::string_view kOnlyWord = "ONLY";
constexpr std::string_view kSkipWord = "SKIP";
// "FSK=0x" + four characters, and the same + "only".
constexpr std::size_t kFskOptionLength = 10;
constexpr std::size_t kFskOptionWithSuffixLength = 14;

}  // namespace

const std::string& CommandLine::Param(int number) const {
  static const std::string kEmpty;
  if (number < 1 || number > CmdParamCount) return kEmpty;
  return CmdParams[static_cast<std::size_t>(number - 1)];
}

CommandLine TakeCommandLine(std::span<const std::string> args) {
  CommandLine cmd;
  cmd.CmdParamCount = static_cast<int>(std::min<std::size_t>(args.size(), kMaxCmdParams));
  for (int i = 0; i < cmd.CmdParamCount; ++i) {
    cmd.CmdParams[static_cast<std::size_t>(i)] = ShortText(args[static_cast<std::size_t>(i)]);
  }
  return cmd;
}

CommandLine TakeCommandLine(int argc, const char* const* argv) {
  CommandLine cmd;
  const int available = argc > 1 ? argc - 1 : 0;
  cmd.CmdParamCount = std::min(available, kMaxCmdParams);
  for (int i = 0; i < cmd.CmdParamCount; ++i) {
    const char* arg = argv[i + 1];
    cmd.CmdParams[static_cast<std::size_t>(i)] = ShortText(arg != nullptr ? arg : "");
  }
  return cmd;
}

FskOption EvaluateFskOption(std::string_view param) {
  FskOption option;
  if (!param.starts_with(kFskOptionPrefix)) return option;
  if (param.size() == kFskOptionWithSuffixLength && param.ends_with(kOnlySuffix)) {
    param.remove_suffix(kOnlySuffix.size());
    option.StOnlyRequested = true;
  }
  if (param.size() != kFskOptionLength) return option;

  const std::string_view word = param.substr(kFskOptionPrefix.size());
  if (word == kOnlyWord) {
    option.StOnlyRequested = true;
  } else if (word == kSkipWord) {
    option.StSkipRequested = true;
  } else {
    unsigned value = 0;
    for (char c : word) {
      const int digit = DigitValue(c, 16);
      if (digit < 0) {
        option.endAtOnce = true;
        return option;
      }
      value = value * 16 + static_cast<unsigned>(digit);
    }
    option.FskGiven = true;
    option.FskPlus = static_cast<std::uint8_t>(value / 256);
    option.FskMinus = static_cast<std::uint8_t>(value % 256);
    if (option.FskPlus > kFskByteLimit || option.FskMinus > kFskByteLimit) {
      option.endAtOnce = true;
    }
  }
  return option;
}

std::optional<int> ComPortNumber(std::string_view param) {
  const auto value = ParseIntegerText(param);
  if (!value || *value < kMinComPort || *value > kMaxComPort) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<int> ComPortNumberOfName(std::string_view param) {
  constexpr std::string_view kDeviceNamespace = "\\\\.\\";
  if (param.starts_with(kDeviceNamespace)) param.remove_prefix(kDeviceNamespace.size());
  if (param.size() < 4 || param.size() > 6) return std::nullopt;
  const auto upper = [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  if (upper(param[0]) != 'C' || upper(param[1]) != 'O' || upper(param[2]) != 'M')
    return std::nullopt;
  const std::string_view digits = param.substr(3);
  if (digits.front() == '0') return std::nullopt;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < kMinComPort || number > kMaxComPort) return std::nullopt;
  return number;
}

std::optional<std::string> PortNameFromParameter(std::string_view param, bool acceptDevicePath) {
  if (acceptDevicePath && param.starts_with('/')) return std::string(param);
  const auto number = ComPortNumber(param);
  if (!number) return std::nullopt;
  return "COM" + std::to_string(*number);
}

StartPlan PlanStart(const CommandLine& cmd, bool acceptDevicePath) {
  StartPlan plan;
  plan.cmd = cmd;
  int& count = plan.cmd.CmdParamCount;

  if (count == 1) {
    plan.mode = StartMode::kInteractiveWithFile;
    plan.fileName = plan.cmd.Param(1);
    return plan;
  }

  // The last of three or five parameters is the FSK option whenever it is not empty; it is
  // taken off the count whatever it holds.
  if ((count == 3 || count == 5) && !plan.cmd.Param(count).empty()) {
    const FskOption option = EvaluateFskOption(plan.cmd.Param(count));
    plan.cmd.CmdParams[static_cast<std::size_t>(count - 1)].clear();
    --count;
    plan.StOnlyRequested = option.StOnlyRequested;
    plan.StSkipRequested = option.StSkipRequested;
    plan.FskGiven = option.FskGiven;
    plan.FskPlus = option.FskPlus;
    plan.FskMinus = option.FskMinus;
    if (option.endAtOnce) {
      plan.mode = StartMode::kEndWithoutRun;
      return plan;
    }
  }

  if (count == 2 || count == 4) {
    if (auto port = PortNameFromParameter(plan.cmd.Param(2), acceptDevicePath)) {
      plan.mode = StartMode::kUnattendedRun;
      plan.fileName = plan.cmd.Param(1);
      plan.portName = std::move(*port);
      plan.CommCodesResetRequested = count == 4 && plan.cmd.Param(3) == kCommCodesKeyword1 &&
                                     plan.cmd.Param(4) == kCommCodesKeyword2;
      return plan;
    }
  }

  plan.mode = StartMode::kInteractiveWithAbout;
  return plan;
}

StartPlan PlanStart(std::span<const std::string> args, bool acceptDevicePath) {
  return PlanStart(TakeCommandLine(args), acceptDevicePath);
}

void ApplyStartPlan(const StartPlan& plan, Session& session) {
  session.CommCodesResetRequested = plan.CommCodesResetRequested;
  session.StOnlyRequested = plan.StOnlyRequested;
  session.StSkipRequested = plan.StSkipRequested;
  session.FskGiven = plan.FskGiven;
  session.FskPlus = plan.FskPlus;
  session.FskMinus = plan.FskMinus;
  if (plan.mode == StartMode::kInteractiveWithFile || plan.mode == StartMode::kUnattendedRun) {
    session.FirmwareFileName = plan.fileName;
  }
  if (plan.mode == StartMode::kUnattendedRun) session.ProgramMode = true;
}

}  // namespace korvex::shell
