#include "app/Hooks.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QWindow>

#include "app/Folders.h"
#include "audio/engine.h"

namespace app {

namespace {

Hooks DefaultHooks() {
  Hooks h;
  h.engineVersion = [] { return audio::GetVersion(); };
  h.programFolder = [] { return ProgramFolder(); };
  h.messageBox = [](QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.exec();
  };
  h.question = [](QWidget* owner, const QString& title, const QString& text) {
    return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
  };
  h.saveFileName = [](QWidget* parent, const QString& title, const QString& filter) {
    // No start folder, no proposed name, no default extension, no overwrite question.
    return QFileDialog::getSaveFileName(parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  h.openFileName = [](QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
  };
  h.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  h.startSystemMove = [](QWindow* window) { return window != nullptr && window->startSystemMove(); };
  return h;
}

}  // namespace

Hooks& hooks() {
  static Hooks current = DefaultHooks();
  return current;
}

void RestoreDefaultHooks() { hooks() = DefaultHooks(); }

}  // namespace app
