#include "display/kv_status.h"

#include <gtest/gtest.h>

namespace korvex::display {
namespace {

class StatusPanel : public ::testing::Test {
 protected:
  StatusPanel() : panel("KORVEX  (1.24 2025-03-12 SK)") { panel.KVinit(20, 3); }
  const TKVStatus::Line& Current() { return panel.LineAt(panel.CurrentLine()); }
  TKVStatus panel;
};

TEST_F(StatusPanel, StatusAndProgressBeforeAnyLineAreIgnored) {
  panel.KVstatus("ERROR", 0, kAttrBoldRed);
  panel.KVprogress(50, 100, 1);
  EXPECT_EQ(panel.CurrentLine(), 0);
  EXPECT_EQ(panel.StatusText(), "");
}

TEST_F(StatusPanel, ErrorGetsTwoLeadingSpacesAndBoldRedCells) {
  panel.KVadd("X");
  panel.KVstatus("ERROR", 0, kAttrBoldRed);
  EXPECT_EQ(Current().text, "X" + std::string(12, ' ') + "  ERROR");
  for (int j = 0; j < 20; ++j) EXPECT_EQ(Current().attributes[j], j >= 13 ? kAttrBoldRed : 0) << j;
  EXPECT_EQ(panel.Title(), "KORVEX  (1.24 2025-03-12 SK)");
}

TEST_F(StatusPanel, StatusWidthPadsAndOkKeepsItsOwnSpaces) {
  panel.KVadd("Erasing");
  panel.KVprogress(99, 100, 1);
  panel.KVstatus("   ok", 0, kAttrPlain);
  EXPECT_EQ(Current().text, "Erasing" + std::string(8, ' ') + "   ok");
  panel.KVadd("A");
  panel.KVstatus("v", 6, kAttrBold);
  EXPECT_EQ(Current().text, "A" + std::string(13, ' ') + "     v");
}

TEST_F(StatusPanel, ProgressDrawsOnlyWhenItGrowsByTheStep) {
  panel.KVadd("File checking");
  panel.KVprogress(0, 393212, 1);
  EXPECT_EQ(Current().text, "File checking     0%");
  EXPECT_EQ(panel.ShadedFromPercent(), 0);
  panel.KVprogress(1000, 393212, 1);  // still 0 %
  EXPECT_EQ(panel.StatusText(), "0%");
  panel.KVprogress(5, 0, 1);  // maximum 0: position is the percentage
  EXPECT_EQ(Current().text, "File checking     5%");
  panel.KVprogress(150, 100, 1);
  EXPECT_EQ(Current().text, "File checking   100%");
  EXPECT_EQ(panel.Title(), "KORVEX  (1.24 2025-03-12 SK) - 100% - File checking   ");
}

TEST_F(StatusPanel, FullPanelScrollsTheOldestLineAway) {
  for (const char* text : {"one", "two", "three", "four"}) panel.KVadd(text);
  EXPECT_EQ(panel.Lines(), (std::vector<std::string>{"two", "three", "four"}));
}

TEST_F(StatusPanel, TitleStopsAtTheFirstColonAndLongTextsAreCut) {
  panel.KVadd("Panel type: SOLANTA 64 with a very long tail");
  EXPECT_EQ(panel.Title(), "KORVEX  (1.24 2025-03-12 SK) - Panel type");
  EXPECT_EQ(Current().text, "Panel type: SOLANTA ");
}

TEST_F(StatusPanel, InsAppendsToTheLastWrittenText) {
  panel.KVadd("Connecting");
  panel.KVins("...");
  EXPECT_EQ(panel.Lines().back(), "Connecting...");
  EXPECT_EQ(panel.CurrentLine(), 1);
}

}  // namespace
}  // namespace korvex::display
