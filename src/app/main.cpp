// Ombrix Tonewright: turns a piece of a music file into an iPhone ringtone.
#include <QApplication>

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/RunProgram.h"
#include "cli/command_line.h"
#include "cli/run_one.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // A command line with options runs without a window, and so without a display.
  if (!cli::WantsWindow(arguments))
    return cli::RunCommandLine(arguments, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
  QApplication application(argc, argv);
  return app::RunTonewright(application);
}
