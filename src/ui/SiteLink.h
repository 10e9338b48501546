// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The label that names the maker's home page at the window's foot: the address follows the
// label's text, it keeps its right edge and grows to the left when a longer address does not fit,
// it is underlined while the pointer is on it, and a left click released on it emits Clicked.

#include <QObject>
#include <QString>

class QLabel;

// The address of the maker's home page that the window names (a build-time setting).
QString HomePageAddress();

class TKvSiteLink : public QObject {
  Q_OBJECT

public:
  // Attaches to label, which owns it, and appends the address to its text.
  explicit TKvSiteLink(QLabel &label);

signals:
  void Clicked();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void Underline(bool underline);

  QLabel &FLabel;
};
