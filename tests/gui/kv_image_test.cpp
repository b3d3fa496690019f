// The image buttons: the ten pictures are carried as resources under their names, a
// disabled button ignores clicks, and the picture alone shows the state.
#include "gui/kv_image.h"

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "view/main_window_state.h"

namespace korvex::gui {
namespace {

using testing::Click;
using testing::GuiApp;

TEST(PictureResourcesTest, EveryButtonHasAnActiveAndAnInactivePictureOfItsSize) {
  GuiApp();
  for (const view::ImageButton button : view::kImageButtons) {
    const char* name = view::PictureName(button);
    const QPixmap active = LoadPicture(QStringLiteral("IA_") + QLatin1String(name));
    const QPixmap inactive = LoadPicture(QStringLiteral("II_") + QLatin1String(name));
    ASSERT_FALSE(active.isNull()) << name;
    ASSERT_FALSE(inactive.isNull()) << name;
    EXPECT_EQ(active.size(), QSize(kImageButtonSize, kImageButtonSize)) << name;
    EXPECT_EQ(inactive.size(), QSize(kImageButtonSize, kImageButtonSize)) << name;
    EXPECT_NE(active.toImage(), inactive.toImage()) << name;

    // For a dense screen: twice the pixels, drawn finer rather than doubled.
    const QPixmap dense = LoadPicture(QStringLiteral("IA_") + QLatin1String(name), 2.0);
    EXPECT_EQ(dense.size(), QSize(2 * kImageButtonSize, 2 * kImageButtonSize)) << name;
    EXPECT_EQ(dense.devicePixelRatio(), 2.0) << name;
    EXPECT_FALSE(testing::PixelDoubled(dense.toImage())) << name;
  }
  EXPECT_NE(LoadPicture("IA_open").toImage(), LoadPicture("IA_stop").toImage());
  EXPECT_TRUE(LoadPicture("IA_missing").isNull());
}

TEST(TKVImageTest, ADisabledButtonIgnoresClicksAndAnEnabledOneReacts) {
  GuiApp();
  TKVImage button;
  int clicks = 0;
  QObject::connect(&button, &TKVImage::clicked, [&clicks] { ++clicks; });
  button.show();

  button.KVdisable("II_stop");
  EXPECT_FALSE(button.isEnabled());
  EXPECT_EQ(button.PictureName(), "II_stop");
  EXPECT_EQ(button.Picture().toImage(), LoadPicture("II_stop").toImage());
  Click(&button);
  EXPECT_EQ(clicks, 0);

  button.KVenable("IA_stop");
  EXPECT_TRUE(button.isEnabled());
  EXPECT_EQ(button.PictureName(), "IA_stop");
  Click(&button);
  EXPECT_EQ(clicks, 1);
}

TEST(TKVImageTest, ThePictureIsShownAsItIsWhetherTheButtonIsEnabledOrNot) {
  GuiApp();
  TKVImage enabled;
  TKVImage disabled;
  enabled.KVenable("II_prog");
  disabled.KVdisable("II_prog");
  EXPECT_EQ(enabled.grab().toImage(), disabled.grab().toImage());

  TKVImage active;
  active.KVdisable("IA_prog");
  EXPECT_NE(active.grab().toImage(), disabled.grab().toImage());
}

}  // namespace
}  // namespace korvex::gui
