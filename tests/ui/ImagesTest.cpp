// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Images.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <vector>

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

// An icon theme in a folder of its own: a hicolor index with one folder of 16-pixel icons (named
// as the theme lays out its sizes), and the program's icon there in one colour when a colour is
// given.
void MakeIconTheme(const QString &folder, const QString &sizeFolder, std::optional<QColor> colour) {
  ASSERT_TRUE(QDir(folder).mkpath(QStringLiteral("hicolor/") + sizeFolder));
  QFile index(folder + QStringLiteral("/hicolor/index.theme"));
  ASSERT_TRUE(index.open(QIODevice::WriteOnly));
  index.write(QStringLiteral("[Icon Theme]\nName=Hicolor\nDirectories=%1\n\n"
                             "[%1]\nSize=16\nType=Fixed\n")
                  .arg(sizeFolder)
                  .toUtf8());
  index.close();
  if (colour) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(*colour);
    ASSERT_TRUE(image.save(folder + QStringLiteral("/hicolor/") + sizeFolder +
                           QStringLiteral("/org.korvane.Quillgate.png")));
  }
}

// Either layout of a theme's sizes, as installed themes have them: <size>/apps or apps/<size>.
TEST(ProgramIcon, TheDesktopsThemedIconWinsAndThePadlockStandsInWithoutOne) {
  const QStringList searchPaths = QIcon::themeSearchPaths();
  const QString themeName = QIcon::themeName();
  QIcon::setThemeName(QStringLiteral("hicolor"));
  for (const QString &sizeFolder : {QStringLiteral("16x16/apps"), QStringLiteral("apps/16")}) {
    SCOPED_TRACE(sizeFolder.toStdString());
    QTemporaryDir without, with;
    MakeIconTheme(without.path(), sizeFolder, std::nullopt);
    MakeIconTheme(with.path(), sizeFolder, QColor(Qt::red));

    QIcon::setThemeSearchPaths({without.path()});
    const QImage padlock = ProgramIcon().pixmap(QSize(16, 16)).toImage();
    EXPECT_EQ(
        padlock.convertToFormat(QImage::Format_ARGB32),
        QImage(QStringLiteral(":/images/icon-16.png")).convertToFormat(QImage::Format_ARGB32));

    QIcon::setThemeSearchPaths({with.path()});
    const QImage themed = ProgramIcon().pixmap(QSize(16, 16)).toImage();
    ASSERT_EQ(themed.size(), QSize(16, 16));
    EXPECT_EQ(themed.pixelColor(8, 8), QColor(Qt::red));
  }
  QIcon::setThemeSearchPaths(searchPaths);
  QIcon::setThemeName(themeName);
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

// The fill: the colour most pixels of the symbol have, its dark outline aside.
QColor FillColour(const QImage &image) {
  std::map<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).alpha() == 255 &&
          !Near(image.pixelColor(x, y), QColor(0x20, 0x20, 0x20), 0))
        ++counts[image.pixel(x, y)];
  const auto most =
      std::max_element(counts.begin(), counts.end(),
                       [](const auto &a, const auto &b) { return a.second < b.second; });
  return most == counts.end() ? QColor(0x20, 0x20, 0x20) : QColor::fromRgba(most->first);
}

// Sixteen symbols told apart by shape alone (their outlines differ in many pixels) and by colour.
TEST(FingerprintSymbolImage, SixteenShapesAndColoursInsideATransparentMargin) {
  std::vector<QImage> images;
  for (int symbol = 0; symbol < 16; ++symbol) {
    SCOPED_TRACE(symbol);
    const QImage image =
        FingerprintSymbolImage(symbol).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(16, 16));
    for (int i = 0; i < 16; ++i)
      for (const QPoint at : {QPoint(i, 0), QPoint(i, 15), QPoint(0, i), QPoint(15, i)})
        EXPECT_TRUE(IsTransparent(image, at));
    int covered = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        covered += IsTransparent(image, {x, y}) ? 0 : 1;
    EXPECT_GT(covered, 40) << "large enough to see";
    images.push_back(image);
  }
  for (std::size_t a = 0; a < images.size(); ++a)
    for (std::size_t b = a + 1; b < images.size(); ++b) {
      SCOPED_TRACE(testing::Message() << a << " and " << b);
      int differing = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          differing += IsTransparent(images[a], {x, y}) != IsTransparent(images[b], {x, y}) ? 1 : 0;
      EXPECT_GE(differing, 20);
      EXPECT_FALSE(Near(FillColour(images[a]), FillColour(images[b]), 24));
    }
  EXPECT_TRUE(FingerprintSymbolImage(16).isNull());
  EXPECT_TRUE(FingerprintSymbolImage(-1).isNull());
}

// Spot checks that the pictures are the names of the core: "red circle" is red and round.
TEST(FingerprintSymbolImage, DrawsWhatTheNamesSay) {
  const QImage circle = FingerprintSymbolImage(3).toImage();
  EXPECT_TRUE(Near(FillColour(circle), QColor(0xE0, 0x1E, 0x2C), 10));
  EXPECT_TRUE(IsTransparent(circle, {2, 2})) << "a circle leaves its corners free";
  EXPECT_FALSE(IsTransparent(circle, {8, 8}));
  const QImage square = FingerprintSymbolImage(0).toImage();
  EXPECT_LT(FillColour(square).red(), FillColour(square).green());
  EXPECT_FALSE(IsTransparent(square, {2, 2})) << "a square fills its corners";
  const QImage star = FingerprintSymbolImage(14).toImage();
  EXPECT_GT(FillColour(star).blue(), 2 * FillColour(star).red());
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
