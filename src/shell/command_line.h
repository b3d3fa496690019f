// The program's command line: which of the start modes it selects, and the unattended
// run's options. Pure logic without I/O, shared by the window and the terminal front ends.
//
// Accepted forms (after the program name):
//   file                                   interactive start with that file checked at once
//   file port                              one unattended Program run on COM<port>
//   file port FSK-option
//   file port "hasla" "komunikacji"        ... and reset the panel's communication codes
//   file port "hasla" "komunikacji" FSK-option
// Anything else starts interactively with the about text. An FSK option with bad hex
// digits or a byte above 0x3F ends the program at once without a run (exit code 0).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvex::shell {

class Session;

// Only the first eight parameters are taken; each is cut to a short text.
inline constexpr int kMaxCmdParams = 8;

// The option that tunes the ST program update: "FSK=0x" + ("ONLY" | "SKIP" | HHLL) and an
// optional trailing "only".
inline constexpr std::string_view kFskOptionPrefix = "FSK=0x";
inline constexpr std::uint8_t kFskByteLimit = 0x3F;

// The keyword pair that asks for the communication codes to be reset (case-sensitive).
inline constexpr std::string_view kCommCodesKeyword1 = "hasla";
inline constexpr std::string_view kCommCodesKeyword2 = "komunikacji";

// COM port numbers the unattended command line accepts.
inline constexpr int kMinComPort = 1;
inline constexpr int kMaxComPort = 255;

// On POSIX systems a device path ("/dev/ttyUSB0", a pseudo-terminal) may stand in place of
// the COM number; on Windows only numbers are accepted.
#ifdef _WIN32
inline constexpr bool kAcceptDevicePathPorts = false;
#else
inline constexpr bool kAcceptDevicePathPorts = true;
#endif

struct CommandLine {
  // CmdParams[0] is the first parameter after the program name; entries at and beyond
  // CmdParamCount are empty.
  std::array<std::string, kMaxCmdParams> CmdParams;
  int CmdParamCount = 0;

  // The 1-based parameter of the command-line forms above; empty outside 1..CmdParamCount.
  const std::string& Param(int number) const;
};

// Takes the parameters (without the program name), at most eight, each cut to 255 characters.
CommandLine TakeCommandLine(std::span<const std::string> args);
// The same from main()'s arguments; argv[0], the program name, is skipped.
CommandLine TakeCommandLine(int argc, const char* const* argv);

// What an FSK option asks for. endAtOnce: the option names four characters that are not
// hexadecimal digits, or a byte above 0x3F; the program ends without a run.
struct FskOption {
  bool StOnlyRequested = false;
  bool StSkipRequested = false;
  bool FskGiven = false;
  std::uint8_t FskPlus = 0;
  std::uint8_t FskMinus = 0;
  bool endAtOnce = false;
};
FskOption EvaluateFskOption(std::string_view param);

// The COM port number of a parameter, or nullopt. The parameter must convert completely to
// an integer 1..255: leading blanks and a sign are allowed, and "$", "x", "X", "0x" or "0X"
// in front of the digits selects hexadecimal.
std::optional<int> ComPortNumber(std::string_view param);

// The COM port number of a port named the Windows way: "COM7", "com7" or the device name
// "\\.\COM12" (letters in any case, decimal 1..255 without sign or leading zero), else
// nullopt.
std::optional<int> ComPortNumberOfName(std::string_view param);

// The port name a port parameter selects: "COM" + n in decimal, or the parameter itself when
// device paths are accepted and it begins with '/'. nullopt when it is neither. (A COM port
// name is not a port parameter of the window's command line: "COM3" starts it with the
// about text.)
std::optional<std::string> PortNameFromParameter(std::string_view param,
                                                 bool acceptDevicePath = kAcceptDevicePathPorts);

enum class StartMode {
  kInteractiveWithFile,   // show the window, check `fileName` at once (empty: file dialog)
  kUnattendedRun,         // one Program run on `portName` with `fileName`, then end
  kInteractiveWithAbout,  // show the window and the about text
  kEndWithoutRun,         // end at once, exit code 0 (an FSK option out of range)
};

struct StartPlan {
  StartMode mode = StartMode::kInteractiveWithAbout;
  CommandLine cmd;       // as taken; CmdParamCount lowered by one when an FSK option was read
  std::string fileName;  // kInteractiveWithFile and kUnattendedRun
  std::string portName;  // kUnattendedRun: "COM" + n, or a device path

  // Flags for the run. The FSK flags are kept whatever the mode, as the option is read
  // before the port is looked at; the communication-codes reset only comes with a run.
  bool CommCodesResetRequested = false;
  bool StOnlyRequested = false;
  bool StSkipRequested = false;
  bool FskGiven = false;
  std::uint8_t FskPlus = 0;
  std::uint8_t FskMinus = 0;
};

// Decides how the program starts from its command line.
StartPlan PlanStart(const CommandLine& cmd, bool acceptDevicePath = kAcceptDevicePathPorts);
StartPlan PlanStart(std::span<const std::string> args,
                    bool acceptDevicePath = kAcceptDevicePathPorts);

// Copies the plan into the session: the six command-line flags; FirmwareFileName for the
// modes that name a file; and ProgramMode for the unattended run. The port name and the
// faster bit rates of the unattended run belong to the serial link and are set by the caller.
void ApplyStartPlan(const StartPlan& plan, Session& session);

}  // namespace korvex::shell
