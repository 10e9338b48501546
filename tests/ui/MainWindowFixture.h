// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's test fixture: private data and config folders, an in-memory key store, and
// the window's error report, warnings and opened addresses collected instead of shown.

#include "platform/posix/DataProtection.h"
#include "support/MemoryKeyStore.h"
#include "support/XdgFolders.h"
#include "ui/MainFrm.h"
#include "ui/SecretClipboard.h"
#include "ui/ThumbButtonGroup.h"

#include <QGuiApplication>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

inline constexpr char Mark[] = "\xEF\xBB\xBF"; // lists are written as UTF-8 with its mark

class MainWindowTest : public XdgFolderTest {
protected:
  void SetUp() override {
    XdgFolderTest::SetUp();
    protection =
        std::make_unique<TKvSealedProtection>(keyring, keyFile, (folder / "machine-id").string());
    data = folder / "data" / "Korvane Quillgate";
  }

  std::unique_ptr<TfmMain> Open() {
    auto window = std::make_unique<TfmMain>(*env, *protection, clipboardGuard, ProgramPath,
                                            [this](const std::u16string &message) {
                                              errors.push_back(QString::fromStdU16String(message));
                                            });
    window->SetWarningBox([this](const std::u16string &caption, const std::u16string &message) {
      warnings.push_back(QString::fromStdU16String(caption) + ": " +
                         QString::fromStdU16String(message));
    });
    window->SetOpenAddress([this](const QString &address) { opened.push_back(address); });
    return window;
  }
  // Writes a file of the data folder, creating the folder first.
  void Put(const std::string &name, const std::string &bytes) {
    std::filesystem::create_directories(data);
    WriteFile(data / name, bytes);
  }
  std::string Get(const std::string &name) { return ReadFile(data / name); }
  bool Has(const std::string &name) { return std::filesystem::exists(data / name); }

  static QStringList Captions(const TfmMain &window) {
    QStringList captions;
    for (int i = 0; i < window.bgThumbs->Count(); ++i)
      captions << window.bgThumbs->Caption(i);
    return captions;
  }

  static constexpr char16_t ProgramPath[] = u"/opt/quillgate/bin/quillgate";
  TMemoryKeyStore keyring, keyFile;
  TKvClipboardGuard clipboardGuard{*QGuiApplication::clipboard(), std::chrono::seconds(30)};
  std::unique_ptr<TKvSealedProtection> protection;
  std::filesystem::path data;
  QStringList errors;
  QStringList warnings; // "<caption>: <message>"
  QStringList opened;   // addresses handed to the browser
};

template <typename T> inline T *Control(QWidget &window, const char *name) {
  auto *control = window.findChild<T *>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}
