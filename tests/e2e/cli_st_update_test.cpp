// korvex-cli updating the ST program of a type 5 panel (ST kind B) served by korvex-panel
// over a pseudo-terminal: the panel holds the file's main program, its ST a program of the
// same version with other contents and its own FSK bytes. The run compares, sets the option
// bytes, erases, programs and verifies the ST, and the panel's ST memory ends up holding the
// file's program with the panel's FSK bytes.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH)

#include <chrono>
#include <string>
#include <vector>

#include "firmware/qfw_writer.h"
#include "firmware/st_section.h"
#include "sim/program_image.h"
#include "support/e2e_support.h"

namespace korvex::testing {
namespace {

using namespace std::chrono_literals;

// The comparison, about 1000 ST blocks programmed and verified and the restart wait (11.5 s on
// a pseudo-terminal, which has no CTS line) take well under this.
constexpr auto kRunLimit = 120s;

TEST(CliStUpdateTest, ATypeFivePanelsDifferingStProgramIsUpdatedKeepingItsFskBytes) {
  const firmware::StSectionKind kind = firmware::StSectionKind::kB;
  const sim::StVersionBytes version = {0x01, 0x00, 0x20, 0x20, 0x01, 0x15};  // 1.00 2020-01-15
  // The file's ST program carries FSK bytes 0x05 0x22; the panel's ST (the simulator's sample
  // program of the same version, other contents) keeps 0x07 0x2A.
  std::vector<std::uint8_t> fileSt = sim::MakeStProgram(kind, version, 0x05, 0x22, 11);
  firmware::QfwInput input;
  input.program = MakeProgram(FieldsForPanelType(5));
  input.stProgram = fileSt;
  const firmware::QfwOutput qfw = firmware::BuildQfw(input);
  ASSERT_EQ(qfw.error, "");

  CliPanelRun bench(KORVEX_CLI_PATH, KORVEX_PANEL_PATH, kRunLimit);
  const std::string file = bench.Dir().Write("type5.qfw", qfw.bytes);
  ASSERT_TRUE(bench.StartPanel(
      {"--panel-type", "5", "--program", "qfw:" + file, "--set", "st_fsk=0x07,0x2A"}))
      << bench.Panel().Output();

  const ProcessResult run = bench.Cli({file, bench.PortPath()});
  EXPECT_EQ(run.exitCode, 6) << run.output;
  for (const char* text : {"ST starter version", "ST program in file", "newer", "ST options",
                           "ST erasing", "ST blank checking", "ST programming", "ST verification",
                           "Restarting panel", "Exit code 6"}) {
    EXPECT_TRUE(Contains(run.output, text)) << text << "\n" << run.output;
  }
  EXPECT_FALSE(Contains(run.output, "ERROR")) << run.output;
  EXPECT_FALSE(Contains(run.output, "FLASH erasing")) << "the main program was up to date";

  const ProcessResult end = bench.StopPanel();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  EXPECT_EQ(ReadText(bench.DumpPath("violations.txt")), "");

  // The file's program with the panel's FSK bytes and the ST checksum that goes with them.
  const firmware::StLayout layout = *firmware::StLayoutFor(kind);
  fileSt[0x1F5A4] = 0x07;
  fileSt[0x1F5A5] = 0x2A;
  const std::uint16_t sum = firmware::StChecksum(fileSt, layout);
  fileSt[layout.checksumOffset] = static_cast<std::uint8_t>(sum);
  fileSt[layout.checksumOffset + 1] = static_cast<std::uint8_t>(sum >> 8);
  const std::vector<std::uint8_t> st = ReadFileBytes(bench.DumpPath("st.bin").string());
  ASSERT_EQ(st.size(), fileSt.size());
  EXPECT_TRUE(st == fileSt) << "the panel's ST memory differs from the file's ST program";
  EXPECT_TRUE(Contains(ReadText(bench.DumpPath("state.cfg")), "st_protection = 0xAA"));
}

}  // namespace
}  // namespace korvex::testing

#endif
