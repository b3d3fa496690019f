#include "cli/terminal_operator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "display/kv_status.h"
#include "shell/file_names.h"
#include "support/firmware_files.h"

namespace korvex::cli {
namespace {

// A terminal operator writing into a scratch file (portable, unlike memory streams), wired to
// a status panel as the session wires it.
class TerminalOut : public ::testing::Test {
 protected:
  void Make(OutputStyle style) {
    stream_ = std::fopen(shell::Utf8FromPath(dir_.Path() / "out.txt").c_str(), "w+b");
    ASSERT_NE(stream_, nullptr);
    op_ = std::make_unique<TerminalOperator>(stream_, style);
    panel_.SetListener(op_.get());
    panel_.KVinit();
  }
  void TearDown() override {
    op_.reset();
    if (stream_ != nullptr) std::fclose(stream_);
  }
  std::string Text() {
    std::fflush(stream_);
    std::rewind(stream_);
    std::string text;
    for (int c = std::fgetc(stream_); c != EOF; c = std::fgetc(stream_)) {
      text += static_cast<char>(c);
    }
    std::fseek(stream_, 0, SEEK_END);  // further output goes after what was read
    return text;
  }
  std::vector<std::string> TextLines() {
    std::vector<std::string> lines;
    std::istringstream in(Text());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  korvex::testing::TempDir dir_;
  std::FILE* stream_ = nullptr;
  std::unique_ptr<TerminalOperator> op_;
  display::TKVStatus panel_{"KORVEX"};
};

TEST_F(TerminalOut, PipedOutputPrintsEachLineOnceWhenItIsComplete) {
  Make({});
  panel_.KVadd("File checking");
  for (int i = 0; i <= 100; i += 10) panel_.KVprogress(i, 100, 1);
  EXPECT_EQ(Text(), "") << "a line in progress is not printed yet";
  panel_.KVstatus("   ok", 0, display::kAttrPlain);
  panel_.KVadd("Connecting");
  panel_.KVstatus("ERROR", 0, display::kAttrBoldRed);
  panel_.KVadd("");
  panel_.KVadd("ATTENTION");
  op_->Finish();
  // More lines than the panel has rows: the scrolled-away ones were printed all the same.
  for (int i = 0; i < 20; ++i) panel_.KVadd("Line " + std::to_string(i));
  op_->Finish();

  std::vector<std::string> expected = {"File checking" + std::string(61, ' ') + "   ok",
                                       "Connecting" + std::string(62, ' ') + "  ERROR", "",
                                       "ATTENTION"};
  for (int i = 0; i < 20; ++i) expected.push_back("Line " + std::to_string(i));
  EXPECT_EQ(TextLines(), expected);
  EXPECT_EQ(Text().find('\033'), std::string::npos) << "no control sequences when piped";
}

TEST_F(TerminalOut, AClearedPanelCompletesTheLineInProgress) {
  Make({});
  panel_.KVadd("Restarting panel");
  panel_.KVclear();
  panel_.KVadd("File checking");
  op_->Finish();
  op_->Finish();  // nothing is left to print
  EXPECT_EQ(TextLines(), (std::vector<std::string>{"Restarting panel", "File checking"}));
}

TEST_F(TerminalOut, MessageBoxesBecomeLinesAfterTheLineInProgress) {
  Make({});
  panel_.KVadd("Programs comparison");
  panel_.KVstatus("older", 0, display::kAttrPlain);
  EXPECT_TRUE(op_->ShowMessageBox("Selected program is older than panel program.\rProgram anyway ?",
                                  shell::MessageKind::kWarning, false));
  // The line printed before the box is not repeated when it is complete unchanged...
  panel_.KVadd("Settings");
  // ...but is printed again when it changed after the box.
  EXPECT_FALSE(op_->ShowMessageBox("Selected file does not exist.\n(/x/a.qfw)",
                                   shell::MessageKind::kError, true));
  panel_.KVstatus("   ok", 0, display::kAttrPlain);
  op_->Finish();
  EXPECT_EQ(TextLines(),
            (std::vector<std::string>{"Programs comparison" + std::string(55, ' ') + "older",
                                      "WARNING: Selected program is older than panel program.",
                                      "    Program anyway ? -> Yes", "Settings",
                                      "ERROR: Selected file does not exist.", "    (/x/a.qfw)",
                                      "Settings" + std::string(66, ' ') + "   ok"}));
}

TEST(TerminalAnswers, QuestionsTakeTheAnswerThatLetsTheOperationGoOn) {
  struct Case {
    const char* question;
    bool answer;
  };
  const Case cases[] = {
      {"Continue ?", true},
      {"Update ST program ?", true},
      {"Selected program is older than panel program.\rProgram anyway ?", true},
      {"cmd = 0x64\nExpected Answer = 0x92\nExpected Dcnt = 0x01\nRSbuf = 0x01 0x93\n\n"
       "Cancel operation ?",
       false},
  };
  for (const Case& c : cases) EXPECT_EQ(AnswerFor(c.question), c.answer) << c.question;
}

TEST_F(TerminalOut, AStopIsReportedOnceAndThenAskedAtEveryMessageTurn) {
  Make({});
  int polls = 0;
  int stops = 0;
  op_->SetStopSource([&polls] { return ++polls == 2; });
  op_->SetStopHandler([&stops] { ++stops; });
  op_->ProcessMessages();
  EXPECT_FALSE(op_->StopAsked());
  EXPECT_EQ(stops, 0);
  panel_.KVadd("Erasing");
  op_->ProcessMessages();
  op_->ProcessMessages();
  op_->ProcessMessages();
  EXPECT_TRUE(op_->StopAsked());
  EXPECT_EQ(stops, 3);
  op_->Finish();
  EXPECT_EQ(TextLines(), (std::vector<std::string>{"Erasing", "Stop requested."}));
}

TEST_F(TerminalOut, DialogsAreAnsweredFromTheCommandLine) {
  Make({});
  shell::PortDialogState state;
  EXPECT_EQ(op_->ChoosePort(state, {}), std::nullopt);
  EXPECT_EQ(op_->ChooseFirmwareFile("*.qfw"), std::nullopt);
  op_->SetPortAnswer("/dev/pts/9");
  op_->SetFileAnswer("a.qfw");
  const auto port = op_->ChoosePort(state, {});
  ASSERT_TRUE(port.has_value());
  EXPECT_EQ(port->port, "/dev/pts/9");
  EXPECT_TRUE(port->fastRs);
  EXPECT_EQ(op_->ChooseFirmwareFile("*.qfw"), "a.qfw");
  EXPECT_EQ(TextLines(), (std::vector<std::string>{"No port given.", "No firmware file given."}));
}

TEST_F(TerminalOut, ATerminalSeesTheLineInProgressWithABarAndColouredVerdicts) {
  Make({.live = true, .colour = true, .width = 60});
  panel_.KVadd("Programming");
  panel_.KVprogress(50, 100, 1);
  EXPECT_NE(Text().find("\r\033[KProgramming [############............] 50%"), std::string::npos)
      << Text();
  panel_.KVstatus("ERROR", 0, display::kAttrBoldRed);
  op_->Finish();
  const std::string text = Text();
  EXPECT_NE(text.find("\033[1;31m  ERROR\033[0m\n"), std::string::npos) << text;
  // Live lines are cut to the terminal's width; complete lines are printed whole.
  std::size_t start = 0;
  while ((start = text.find("\r\033[K", start)) != std::string::npos) {
    start += 4;
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end != std::string::npos && text[end] == '\n') continue;  // a complete line
    EXPECT_LT((end == std::string::npos ? text.size() : end) - start, 60u);
  }
}

}  // namespace
}  // namespace korvex::cli
