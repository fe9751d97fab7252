// Ombrix Tonewright: turns a piece of a music file into an iPhone ringtone.
#include <QApplication>

#include "app/RunProgram.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return app::RunTonewright(application);
}
