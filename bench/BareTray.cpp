// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for the tray program's start-up time and idle memory: a bare Qt program that
// shows one tray icon and waits. bench/tray-startup.sh measures both in the same batch.

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  QPixmap image(16, 16);
  image.fill(QColor(0x20, 0x60, 0xc0));
  QSystemTrayIcon icon{QIcon(image)};
  icon.setToolTip(QStringLiteral("Bare tray"));
  icon.show();

  return QApplication::exec();
}
