// Whole operations started from the window's own controls against the simulated panel: a
// Program run clicked on the Program button, with the port dialog and the questions answered
// in their real Qt boxes, and a run stopped with Ctrl+S. Setting KORVEX_WINDOW_SCREENSHOT to
// a file name saves a picture of the window after the Program run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gui_test_support.h"
#include "window_bench.h"

namespace korvex::gui {
namespace {

using testing::Click;
using testing::CtrlS;
using testing::ModalAnswerer;
using testing::WindowBench;

bool Contains(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& line : lines) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return false;
}

// Stands between the status panel and the window while a run goes on: passes every change
// on and looks at the window each time.
class WindowWatch : public display::StatusListener {
 public:
  using OnChange = std::function<void(const display::TKVStatus&)>;

  explicit WindowWatch(WindowBench& bench, OnChange onChange = {})
      : bench_(bench), onChange_(std::move(onChange)) {
    bench_.app->Session().Info1.SetListener(this);
  }
  ~WindowWatch() override { bench_.app->Session().Info1.SetListener(bench_.window.get()); }

  void StatusPanelChanged(const display::TKVStatus& panel) override {
    TFormFlash& w = *bench_.window;
    w.StatusPanelChanged(panel);
    if (bench_.app->OperationRunning()) {
      sawBusy = true;
      busyLookRight = busyLookRight && !w.Iprogram()->isEnabled() && w.Istop()->isEnabled() &&
                      !w.CBdonotscan()->isVisible();
      closeRefused = closeRefused && !w.close() && w.isVisible();
    }
    if (onChange_) onChange_(panel);
  }
  void SetApplicationTitle(const std::string& title) override {
    bench_.window->SetApplicationTitle(title);
    titles.push_back(title);
  }

  bool sawBusy = false;
  bool busyLookRight = true;
  bool closeRefused = true;
  std::vector<std::string> titles;

 private:
  WindowBench& bench_;
  OnChange onChange_;
};

TEST(WindowRunTest, ProgramClickedInTheWindowUpdatesThePanel) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  ASSERT_EQ(bench.StartWithFile(), update::StartResult::kInteractive);
  ASSERT_TRUE(answerer.boxes.empty());
  WindowWatch watch(bench);
  testing::ShowCounter waitDialog(w.FormWait());

  Click(w.Iprogram());

  const std::vector<std::string> lines = bench.app->Session().Info1.Lines();
  EXPECT_EQ(bench.app->ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(Contains(lines, "Restarting panel")) << ::testing::PrintToString(lines);
  EXPECT_EQ(answerer.boxes.back(), "Updating ok.");
  EXPECT_EQ(answerer.portDialogs, 1);
  EXPECT_TRUE(Contains(answerer.yesNoBoxes, "Continue"))
      << ::testing::PrintToString(answerer.boxes);
  EXPECT_TRUE(watch.sawBusy);
  EXPECT_TRUE(watch.busyLookRight);
  EXPECT_TRUE(watch.closeRefused);
  EXPECT_EQ(waitDialog.shown, 1);
  EXPECT_FALSE(w.FormWait()->isVisible());
  // The progress showed in the title, then the verdicts took it back to the caption.
  EXPECT_TRUE(Contains(watch.titles, "KORVEX  (1.24 2025-03-12 SK) - 100% - "));
  // Idle again, with the port kept for the next operation.
  EXPECT_TRUE(w.Iprogram()->isEnabled());
  EXPECT_FALSE(w.Istop()->isEnabled());
  EXPECT_EQ(w.StatusPanel1()->text().toStdString(), " COM1");

  if (const char* shot = std::getenv("KORVEX_WINDOW_SCREENSHOT"); shot && *shot) {
    EXPECT_TRUE(w.grab().save(QString::fromLocal8Bit(shot)));
  }
}

TEST(WindowRunTest, CtrlSStopsARunAndTheNextRunAsksForThePortAgain) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  ASSERT_EQ(bench.StartWithFile(), update::StartResult::kInteractive);

  // Press Ctrl+S once the panel is being programmed.
  bool pressed = false;
  WindowWatch watch(bench, [&](const display::TKVStatus& panel) {
    if (!pressed && panel.ShadedFromPercent().value_or(0) >= 10 &&
        panel.LineAt(panel.CurrentLine()).text.rfind("FLASH programming", 0) == 0) {
      pressed = true;
      CtrlS(&w);
    }
  });

  Click(w.Iprogram());

  ASSERT_TRUE(pressed) << ::testing::PrintToString(bench.app->Session().Info1.Lines());
  EXPECT_TRUE(Contains(answerer.yesNoBoxes, "Abort ?"));
  // A programming request cut short by the stop: the run keeps that failure's code.
  EXPECT_EQ(bench.app->ExitCode(), shell::kExitNoConnection);
  EXPECT_FALSE(bench.PanelProgramEqualsImage());
  EXPECT_FALSE(Contains(answerer.boxes, "Updating ok."));
  EXPECT_FALSE(Contains(bench.app->Session().Info1.Lines(), "Verification"));
  EXPECT_EQ(w.StatusPanel1()->text().toStdString(), " ");  // the port is forgotten
  EXPECT_TRUE(w.Iprogram()->isEnabled());

  Click(w.Itest());
  EXPECT_EQ(answerer.portDialogs, 2);
}

}  // namespace
}  // namespace korvex::gui
