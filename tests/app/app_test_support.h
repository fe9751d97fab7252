// Shared by the app tests: one QApplication for the process, and a fixture that points the
// window's folders and desktop doors (app::hooks()) at things a test can see.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>
#include <vector>

#include "app/Hooks.h"
#include "lsan_suppressions.h"

namespace apptest {

// The process's QApplication, created on first use and kept to the end.
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "app_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct Message {
  QWidget* owner;
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

// Each test gets a fresh home folder (so the documents folder is <home>/Documents), the built
// program's folder as exeDir, and hooks that record message boxes, URLs and window moves.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(home.isValid());
    savedHome = qgetenv("HOME");
    savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    app::RestoreDefaultHooks();
    app::Hooks& h = app::hooks();
    h.programFolder = [this] { return programFolder; };
    h.messageBox = [this](QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text) {
      messages.push_back({owner, icon, title, text});
    };
    h.openUrl = [this](const QUrl& url) {
      urls.push_back(url);
      return true;
    };
    h.saveFileName = [this](QWidget*, const QString& title, const QString& filter) {
      dialogTitles.push_back(title);
      dialogFilters.push_back(filter);
      return dialogAnswer;
    };
    h.startSystemMove = [this](QWindow*) {
      ++moves;
      return true;
    };
  }

  void TearDown() override {
    app::RestoreDefaultHooks();
    qputenv("HOME", savedHome);
    if (savedConfig.isEmpty()) {
      qunsetenv("XDG_CONFIG_HOME");
    } else {
      qputenv("XDG_CONFIG_HOME", savedConfig);
    }
  }

  // The folder the start-up computes from the fresh home.
  QString ExpectedDataDir() const { return home.path() + "/Documents/OmbrixDVD/Tonewright/"; }

  QTemporaryDir home;
  QByteArray savedHome;
  QByteArray savedConfig;
  QString programFolder = QStringLiteral(TW_PROGRAM_DIR "/");
  std::vector<Message> messages;
  std::vector<QUrl> urls;
  std::vector<QString> dialogTitles;
  std::vector<QString> dialogFilters;
  QString dialogAnswer;
  int moves = 0;
};

}  // namespace apptest
