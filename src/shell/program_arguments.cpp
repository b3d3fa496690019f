#include "shell/program_arguments.h"

#ifdef _WIN32
#include "shell/wide_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>
#endif

namespace korvex::shell {

#ifdef _WIN32

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return args;
}

#else

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

#endif

}  // namespace korvex::shell
