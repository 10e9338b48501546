// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's application object and its start-up settings: the title, the theme, and the
// default error report for whatever escapes an event handler.

#include <QApplication>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class IKvEnvironment;

inline constexpr char16_t ApplicationTitle[] = u"Korvane Quillgate";
inline constexpr char16_t DefaultThemeName[] = u"Metro Blue";

// Shows an error message to the user (the default: the program's error box).
using TKvReport = std::function<void(const std::u16string &message)>;

// Every event goes through notify; an error that escapes its handler goes to the error report
// there, so no exception crosses Qt's event loop, and the loop goes on.
class TKvApplication : public QApplication {
public:
  TKvApplication(int &argc, char **argv);
  bool notify(QObject *receiver, QEvent *event) override;
  void SetErrorReport(TKvReport report) { FReport = std::move(report); }

private:
  TKvReport FReport;
};

// Makes the program's application object. Where Qt can open no display it would print lines of
// its own and abort; instead one line on the standard error stream says so and names the display
// variables of env, beforeExit runs, and the process ends with status 1. What Qt says while it
// starts comes out once it has started, as it would have.
std::unique_ptr<TKvApplication> StartApplication(int &argc, char **argv, const IKvEnvironment &env,
                                                 std::function<void()> beforeExit);

// Applies the theme of that name from the program's resources to the whole application. When
// there is none, notFound gets "Style '<name>' not found" and the default look stays. The default
// notFound shows an error box with a single "Close" button.
bool ApplyTheme(QApplication &application, const std::u16string &name,
                const TKvReport &notFound = {});

// Applies that theme as ApplyTheme does, just before the program's first widget other than the
// tray icon's own is made ready to show (its window, a box, the tray menu) or its first tooltip:
// each of them looks themed from its first appearance, while the tray program, until then, spends
// neither the start's time nor the memory of a style sheet.
void ApplyThemeBeforeFirstWidget(QApplication &application, const std::u16string &name);
