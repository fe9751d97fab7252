// The window's doors to the desktop, each replaceable.
//
// Message boxes, file dialogs, opening a URL, moving the window and asking the engine for its
// version all go through these functions, so that a test can answer a dialog, capture a message
// or give another engine version without a modal loop. The program never changes them; tests
// set them and call RestoreDefaultHooks() when done. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>

class QWidget;
class QWindow;

namespace app {

struct Hooks {
  // The audio engine's version word (audio::GetVersion).
  std::function<uint32_t()> engineVersion;
  // The folder of the running program, with a trailing '/' (ProgramFolder).
  std::function<QString()> programFolder;
  // A modal message box with one OK button; owner nullptr means no owner window.
  std::function<void(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text)>
      messageBox;
  // A modal question with Yes and No (No the default); true when the user answers Yes.
  std::function<bool(QWidget* owner, const QString& title, const QString& text)> question;
  // The save dialog: the chosen path, or an empty text when the user cancels.
  std::function<QString(QWidget* parent, const QString& title, const QString& filter)> saveFileName;
  // The open dialog: the chosen path, or an empty text when the user cancels.
  std::function<QString(QWidget* parent, const QString& title, const QString& filter)> openFileName;
  // Hands a URL (a file, a web address, a mailto: link) to the desktop's default handler.
  std::function<bool(const QUrl& url)> openUrl;
  // Lets the window manager move the window with the pointer.
  std::function<bool(QWindow* window)> startSystemMove;
};

// The hooks in use.
Hooks& hooks();
// Puts the program's own implementations back.
void RestoreDefaultHooks();

}  // namespace app
