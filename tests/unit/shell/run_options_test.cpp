#include "shell/run_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex::shell {
namespace {

using Args = std::vector<std::string>;

TEST(TakeRunOptions, TakesOptionsFromAnywhereAndKeepsTheOtherParametersInOrder) {
  const OptionSplit split =
      TakeRunOptions(Args{"--report", "r.json", "fw.qfw", "7", "--timeout=20", "hasla",
                          "--verify=readback", "komunikacji", "--backup", "/tmp/b"});
  ASSERT_EQ(split.error, "");
  EXPECT_EQ(split.params, (Args{"fw.qfw", "7", "hasla", "komunikacji"}));
  EXPECT_EQ(split.options.reportFile, "r.json");
  EXPECT_EQ(split.options.timeoutSeconds, 20u);
  EXPECT_EQ(split.options.verify, VerifyMode::kReadBack);
  EXPECT_EQ(split.options.backupDir, "/tmp/b");
}

TEST(TakeRunOptions, WithoutOptionsTheParametersAndDefaultsStand) {
  const OptionSplit split = TakeRunOptions(Args{"fw.qfw", "7", "FSK=0xSKIP", "--help", "--"});
  EXPECT_EQ(split.error, "");
  EXPECT_EQ(split.params, (Args{"fw.qfw", "7", "FSK=0xSKIP", "--help", "--"}));
  EXPECT_EQ(split.options.verify, VerifyMode::kBlockChecks);
  EXPECT_EQ(split.options.reportFile, "");
  EXPECT_FALSE(split.options.timeoutSeconds.has_value());
}

TEST(TakeRunOptions, RefusesUnknownOptionsMissingAndBadValues) {
  const struct {
    Args args;
    std::string error;
  } cases[] = {
      {{"fw.qfw", "--fast"}, "unknown option --fast"},
      {{"fw.qfw", "--report"}, "--report needs a value"},
      {{"--report="}, "--report needs a file name"},
      {{"--timeout", "0"}, "--timeout takes a whole number of seconds, at least 1"},
      {{"--timeout", "2x"}, "--timeout takes a whole number of seconds, at least 1"},
      {{"--timeout", "-5"}, "--timeout takes a whole number of seconds, at least 1"},
      {{"--verify"}, "--verify needs a value"},
      {{"--verify=twice"}, "--verify takes \"readback\" or \"blockcheck\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TakeRunOptions(c.args).error, c.error) << c.args.back();
  }
}

TEST(RunOptionsHelp, NamesEveryOption) {
  const std::string help = RunOptionsHelp();
  for (const char* name :
       {"--verify=readback", "--report FILE", "--timeout SECONDS", "--backup DIR"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace korvex::shell
