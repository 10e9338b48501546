// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ErrorBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveTheFullStop) {
  struct Row {
    std::u16string message, shown;
  };
  const Row rows[] = {
      {u"Cannot open file", u"Cannot open file."},
      {u"Invalid port [x]", u"Invalid port [x]."},
      {u"Code 42", u"Code 42."},
      {u"Reason:", u"Reason:."},
      {u"Which?", u"Which?."},
      {u"path/", u"path/."}, // 47, the first code above "."
      {u"Done.", u"Done."},
      {u"Stop!", u"Stop!"},
      {u"(none)", u"(none)"},
      {u"trailing ", u"trailing "},
      {u"a-", u"a-"}, // 45, just below "."
      {u"", u""},
      {u"Größe ä", u"Größe ä."},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(QString::fromStdU16String(row.message).toStdString());
    EXPECT_EQ(ErrorBoxText(row.message), row.shown);
  }
}

TEST(ErrorBox, BoxBelongsToItsWindowAndGoesWhenClosed) {
  QWidget window;
  window.show();
  ShowErrorBox(u"Cannot open file", &window);
  auto *box = window.findChild<QMessageBox *>();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  // Modal to its window only: the tray icon's menu keeps working.
  EXPECT_EQ(box->windowModality(), Qt::WindowModal);
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  EXPECT_EQ(box->windowTitle(), "Korvane Quillgate");
  EXPECT_EQ(box->text(), "Cannot open file.");
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);

  // Ctrl+C passes the message on word for word, as a box on Windows does.
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "Korvane Quillgate\nCannot open file.\n");
  EXPECT_TRUE(box->isVisible());

  box->button(QMessageBox::Ok)->click();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window.findChild<QMessageBox *>(), nullptr);
}

} // namespace
