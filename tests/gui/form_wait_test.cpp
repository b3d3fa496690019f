// The wait dialog: its texts, shown without blocking, and closed only by the program.
#include "gui/form_wait.h"

#include <gtest/gtest.h>

#include "gui_test_support.h"

namespace korvex::gui {
namespace {

using testing::GuiApp;
using testing::Key;

TEST(TFormWaitTest, ShowsItsTextAndRefusesEveryCloseRequest) {
  GuiApp();
  QWidget owner;
  owner.resize(400, 300);
  owner.show();
  TFormWait wait(&owner);
  EXPECT_EQ(wait.windowTitle().toStdString(), "Information");
  EXPECT_EQ(wait.StaticText1()->text().toStdString(), "Wait...");
  EXPECT_EQ(wait.size(), QSize(234, 74));

  wait.ShowWait(true);
  EXPECT_TRUE(wait.isVisible());
  EXPECT_FALSE(wait.isModal());

  EXPECT_FALSE(wait.close());
  Key(&wait, Qt::Key_Escape);
  Key(&wait, Qt::Key_F4, Qt::AltModifier);
  EXPECT_TRUE(wait.isVisible());

  wait.ShowWait(false);
  EXPECT_FALSE(wait.isVisible());
}

}  // namespace
}  // namespace korvex::gui
