// The port dialog: OK only while a port that can be opened is checked, Fast RS, Cancel, the
// Scan button, and the dialog driven by the link layer's port list over the in-process line.
#include "gui/form_flash_rs.h"

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "window_bench.h"

namespace korvex::gui {
namespace {

using testing::GuiApp;
using testing::ModalAnswerer;
using testing::WindowBench;

shell::PortDialogState ThreeEntries() {
  shell::PortDialogState state;
  state.entries = {
      {"&none", "", true, ""}, {"COM&1", "COM1", true, ""}, {"COM&2", "COM2", false, ""}};
  state.checked = 0;
  state.fastRs = true;
  state.scanVisible = true;
  return state;
}

TEST(FormFlashRSTest, OkIsPossibleOnlyForACheckedPortThatCanBeOpened) {
  GuiApp();
  TFormFlashRS dialog;
  shell::PortDialogState state = ThreeEntries();
  ModalAnswerer answerer;
  std::vector<bool> okSteps;
  answerer.choosePort = [&](TFormFlashRS& d) {
    ASSERT_EQ(d.PortButtons().size(), 3u);
    okSteps.push_back(d.BTok()->isEnabled());  // the no-port entry is checked
    d.PortButtons()[2]->click();               // greyed: takes no click
    okSteps.push_back(d.BTok()->isEnabled());
    d.PortButtons()[1]->click();
    okSteps.push_back(d.BTok()->isEnabled());
    d.PortButtons()[0]->click();
    okSteps.push_back(d.BTok()->isEnabled());
    d.PortButtons()[1]->click();
    d.CBfastRS()->click();
    d.BTok()->click();
  };
  const std::optional<shell::PortChoice> choice = dialog.Choose(state, {});
  EXPECT_EQ(okSteps, (std::vector<bool>{false, false, true, false}));
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->port, "COM1");
  EXPECT_FALSE(choice->fastRs);
  EXPECT_EQ(state.checked, 1u);
  EXPECT_FALSE(state.fastRs);
}

TEST(FormFlashRSTest, EntriesShowTheirAcceleratorsInAColumn) {
  GuiApp();
  TFormFlashRS dialog;
  shell::PortDialogState state = ThreeEntries();
  state.checked = 2;  // remembered, but greyed now
  state.scanVisible = false;
  ModalAnswerer answerer;
  answerer.choosePort = [&](TFormFlashRS& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Choose port");
    EXPECT_EQ(d.CBfastRS()->text().toStdString(), "&Fast RS");
    EXPECT_EQ(d.BTok()->text().toStdString(), "&Ok");
    EXPECT_EQ(d.BTanuluj()->text().toStdString(), "&Cancel");
    EXPECT_EQ(d.BTscan()->text().toStdString(), "Sc&an");
    EXPECT_FALSE(d.BTscan()->isVisible());
    const char* texts[] = {"&none", "COM&1", "COM&2"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(d.PortButtons()[i]->text().toStdString(), texts[i]);
      EXPECT_EQ(d.PortButtons()[i]->geometry(), QRect(8, 8 + 18 * i, 64, 17));
    }
    EXPECT_TRUE(d.PortButtons()[2]->isChecked());
    EXPECT_FALSE(d.BTok()->isEnabled());
    d.BTanuluj()->click();
  };
  EXPECT_FALSE(dialog.Choose(state, {}).has_value());
}

TEST(FormFlashRSTest, ScanProbesAgainAndEscapeCancels) {
  GuiApp();
  TFormFlashRS dialog;
  shell::PortDialogState state = ThreeEntries();
  int scans = 0;
  const shell::PortRescan rescan = [&scans](shell::PortDialogState& shown) {
    ++scans;
    EXPECT_EQ(shown.checked, 1u);      // the operator's choice reaches the rescan
    shown.entries[1].enabled = false;  // COM1 has meanwhile been taken
    shown.entries[2].enabled = true;
  };
  ModalAnswerer answerer;
  bool okAfterScan = true;
  answerer.choosePort = [&](TFormFlashRS& d) {
    EXPECT_TRUE(d.BTscan()->isVisible());
    d.PortButtons()[1]->click();
    d.BTscan()->click();
    okAfterScan = d.BTok()->isEnabled();
    EXPECT_TRUE(d.PortButtons()[1]->isChecked());
    EXPECT_FALSE(d.PortButtons()[1]->isEnabled());
    EXPECT_TRUE(d.PortButtons()[2]->isEnabled());
    testing::Key(&d, Qt::Key_Escape);
  };
  EXPECT_FALSE(dialog.Choose(state, rescan).has_value());
  EXPECT_EQ(scans, 1);
  EXPECT_FALSE(okAfterScan);
}

TEST(FormFlashRSTest, EntriesShowTheFullNameAndTheAdapterUncut) {
  GuiApp();
  TFormFlashRS dialog;
  shell::PortDialogState state;
  state.entries = {{"&none", "", true, ""},
                   {"/dev/pts/&8", "/dev/pts/8", true, ""},
                   {"/dev/pts/&9", "/dev/pts/9", true, ""},
                   {"/dev/ttyUSB&0", "/dev/ttyUSB0", true, "FTDI FT232R USB UART (A10K4S2B)"}};
  ModalAnswerer answerer;
  answerer.choosePort = [&](TFormFlashRS& d) {
    const char* texts[] = {"&none", "/dev/pts/&8", "/dev/pts/&9",
                           "/dev/ttyUSB&0  FTDI FT232R USB UART (A10K4S2B)"};
    for (std::size_t i = 0; i < 4; ++i) {
      QRadioButton* entry = d.PortButtons()[i];
      EXPECT_EQ(entry->text().toStdString(), texts[i]);
      // Wide enough for its whole text, and inside the visible part of the list.
      EXPECT_LE(entry->sizeHint().width(), entry->width()) << texts[i];
      EXPECT_LE(entry->geometry().right(), d.KVRS()->viewport()->width()) << texts[i];
    }
    // The right column moved along and stays inside the dialog.
    EXPECT_GT(d.CBfastRS()->x(), d.KVRS()->geometry().right());
    EXPECT_LE(d.CBfastRS()->geometry().right(), d.width());
    EXPECT_LE(d.BTok()->geometry().right(), d.width());
    d.BTanuluj()->click();
  };
  dialog.Choose(state, {});
}

TEST(FormFlashRSTest, EnterOnAFocusedScanRescansAndEnterElsewhereConfirms) {
  GuiApp();
  TFormFlashRS dialog;
  shell::PortDialogState state = ThreeEntries();
  state.checked = 1;
  int scans = 0;
  const shell::PortRescan rescan = [&scans](shell::PortDialogState&) { ++scans; };
  ModalAnswerer answerer;
  bool openAfterScan = false;
  answerer.choosePort = [&](TFormFlashRS& d) {
    d.BTscan()->setFocus();
    testing::Key(d.BTscan(), Qt::Key_Return);
    openAfterScan = d.isVisible();
    // After the rescan the checked port has the focus; Enter presses OK.
    testing::Key(d.PortButtons()[1], Qt::Key_Return);
  };
  const std::optional<shell::PortChoice> choice = dialog.Choose(state, rescan);
  EXPECT_EQ(scans, 1);
  EXPECT_TRUE(openAfterScan);
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->port, "COM1");
}

TEST(FormFlashRSTest, TheLinkShowsItsPortListAndGreysABusyPortWhenScanning) {
  WindowBench bench(std::vector<link::PortInfo>{{"COM1", "first"}, {"COM2", "second"}});
  bench.device->SetBusy("COM2", true);
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  std::vector<bool> enabled;
  bool scanVisible = false;
  answerer.choosePort = [&](TFormFlashRS& d) {
    enabled.clear();
    for (QRadioButton* button : d.PortButtons()) enabled.push_back(button->isEnabled());
    scanVisible = d.BTscan()->isVisible();
    d.PortButtons()[2]->click();
    if (d.BTok()->isEnabled()) {
      d.BTok()->click();
    } else {
      d.BTanuluj()->click();
    }
  };
  link::PortDialog& ports = bench.app->Link().FormFlashRS;
  EXPECT_FALSE(ports.Run(w));  // COM2 is busy: it is greyed and cannot be confirmed
  EXPECT_EQ(enabled, (std::vector<bool>{true, true, false}));
  EXPECT_TRUE(scanVisible);

  // With the scan switched off in the window, nothing is probed and no Scan button shows.
  w.CBdonotscan()->setChecked(true);
  EXPECT_TRUE(ports.Run(w));
  EXPECT_EQ(enabled, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(scanVisible);
  EXPECT_EQ(bench.app->Link().KVRS.SelectedPort(), "COM2");
  EXPECT_EQ(answerer.portDialogs, 2);
}

}  // namespace
}  // namespace korvex::gui
