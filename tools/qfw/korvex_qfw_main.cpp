#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "shell/program_arguments.h"
#include "tools/qfw/qfw_tool.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args = korvex::shell::ProgramArguments(argc, argv);
    return korvex::qfw::RunQfwTool(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "korvex-qfw: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "korvex-qfw: unexpected failure\n";
  }
  return korvex::qfw::kExitUsage;
}
