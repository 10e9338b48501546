// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Images.h"

#include "common/ApplicationId.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QString>

// The resources of a static library are registered by hand, once, before the first use.
static void RegisterImages() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(images);
    return true;
  }();
  (void)registered;
}

namespace {

bool HasIconFile(const QDir &folder, const QString &name) {
  for (const char *suffix : {".png", ".svg", ".svgz", ".xpm"})
    if (QFileInfo::exists(folder.filePath(name + QLatin1String(suffix))))
      return true;
  return false;
}

// Whether a theme in the icon theme search path holds an application icon file of that name, as
// installed icons are laid out: <theme>/<size>/apps/ or <theme>/apps/<size>/. Asking Qt's theme
// lookup instead reads the index of every theme there (hicolor's alone runs to thousands of lines)
// and keeps it for the process's life.
bool AnyIconThemeHolds(const QString &name) {
  constexpr QDir::Filters Folders = QDir::Dirs | QDir::NoDotAndDotDot;
  for (const QString &path : QIcon::themeSearchPaths())
    for (const QString &theme : QDir(path).entryList(Folders)) {
      const QDir themeFolder(path + QLatin1Char('/') + theme);
      for (const QString &size : themeFolder.entryList(Folders))
        if (HasIconFile(QDir(themeFolder.filePath(size + QStringLiteral("/apps"))), name))
          return true;
      const QDir apps(themeFolder.filePath(QStringLiteral("apps")));
      for (const QString &size : apps.entryList(Folders))
        if (HasIconFile(QDir(apps.filePath(size)), name))
          return true;
    }
  return false;
}

} // namespace

QIcon ProgramIcon() {
  RegisterImages();
  QIcon padlock;
  for (const int size : {16, 32, 48, 64})
    padlock.addFile(QStringLiteral(":/images/icon-%1.png").arg(size), QSize(size, size));
  // The desktop's icon theme has the last word, as for the menu entry that names the icon; the
  // padlock compiled in stands in where it has none.
  const QString name = QString::fromLatin1(ApplicationId);
  return AnyIconThemeHolds(name) ? QIcon::fromTheme(name, padlock) : padlock;
}

QPixmap HouseImage() {
  RegisterImages();
  return QPixmap(QStringLiteral(":/images/house.png"));
}

QPixmap DeleteGlyph() {
  RegisterImages();
  return QPixmap::fromImage(
      WithKeyColourTransparent(QImage(QStringLiteral(":/images/delete.png"))));
}

QPixmap FingerprintSymbolImage(int symbol) {
  RegisterImages();
  if (symbol < 0 || symbol > 15)
    return {};
  return QPixmap(QStringLiteral(":/images/symbol-%1.png").arg(symbol));
}

QImage WithKeyColourTransparent(const QImage &image) {
  if (image.isNull())
    return image;
  QImage result = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = result.pixel(0, result.height() - 1);
  for (int y = 0; y < result.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x)
      if (line[x] == key)
        line[x] = qRgba(0, 0, 0, 0);
  }
  return result;
}
