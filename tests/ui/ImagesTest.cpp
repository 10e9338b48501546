#include "ui/Images.h"

#include <gtest/gtest.h>

namespace {

bool IsTransparent(const QImage &image, QPoint at) {
  return image.pixelColor(at).alpha() == 0;
}

// Roughly the colour asked for: each channel within a tolerance.
bool Near(QColor actual, QColor expected, int tolerance = 40) {
  return std::abs(actual.red() - expected.red()) <= tolerance &&
         std::abs(actual.green() - expected.green()) <= tolerance &&
         std::abs(actual.blue() - expected.blue()) <= tolerance && actual.alpha() == 255;
}

int CountNear(const QImage &image, QColor colour, int tolerance = 40) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += Near(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
  return count;
}

TEST(ProgramIcon, ComesInFourSizesWithAlphaAndHazardStripes) {
  const QIcon icon = ProgramIcon();
  for (const int size : {16, 32, 48, 64}) {
    SCOPED_TRACE(size);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_TRUE(IsTransparent(image, {0, 0}));
    EXPECT_TRUE(IsTransparent(image, {size - 1, 0}));
    // The body's stripes: both colours, each a good share of the lower half.
    const QImage body = image.copy(0, size / 2, size, size / 2);
    EXPECT_GT(CountNear(body, QColor(0xF6, 0xC4, 0x00)), size * size / 20);
    EXPECT_GT(CountNear(body, QColor(0x1C, 0x1C, 0x1C)), size * size / 20);
  }
}

TEST(HouseImage, RedRoofWhiteWallsLightBlueDoorOnTransparency) {
  const QImage house = HouseImage().toImage();
  ASSERT_EQ(house.size(), QSize(16, 16));
  const std::pair<QPoint, QColor> pixels[] = {
      {{7, 4}, QColor(0xE0, 0x30, 0x2A)},  // roof
      {{5, 9}, Qt::white},                 // wall
      {{7, 12}, QColor(0x8C, 0xD0, 0xF4)}, // door
  };
  for (const auto &[at, colour] : pixels) {
    SCOPED_TRACE(testing::Message() << at.x() << "," << at.y());
    EXPECT_TRUE(Near(house.pixelColor(at), colour, 10));
  }
  for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)})
    EXPECT_TRUE(IsTransparent(house, corner));
}

TEST(DeleteGlyph, BlueBarWithItsMagentaDrawnTransparent) {
  const QImage glyph = DeleteGlyph().toImage();
  ASSERT_EQ(glyph.size(), QSize(16, 16));
  EXPECT_TRUE(IsTransparent(glyph, {0, 15}));
  EXPECT_TRUE(IsTransparent(glyph, {8, 2}));
  const QColor bar = glyph.pixelColor(8, 8);
  EXPECT_EQ(bar.alpha(), 255);
  EXPECT_GT(bar.blue(), 2 * bar.red());
  EXPECT_EQ(CountNear(glyph, Qt::magenta, 0), 0) << "no magenta is left";
}

TEST(WithKeyColourTransparent, TheBottomLeftColourDisappearsEverywhereElseStays) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::green); // the bottom-left pixel's colour is the key
  image.setPixelColor(1, 0, Qt::red);
  const QImage result = WithKeyColourTransparent(image);
  EXPECT_TRUE(IsTransparent(result, {2, 0}));
  EXPECT_TRUE(IsTransparent(result, {0, 1}));
  EXPECT_EQ(result.pixelColor(1, 0), QColor(Qt::red));
  EXPECT_TRUE(WithKeyColourTransparent(QImage()).isNull());
}

} // namespace
