// Running a command line that asks for no window: a ringtone written, a part suggested, the usage
// or the version printed. Needs no display; opens no audio device.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace cli {

// Where the run reports: standard output, standard error, and whether standard error is a
// terminal (the progress is shown only there).
struct Console {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;
};

// Parses `arguments` (without the program's name) and runs them. Returns the exit status:
// 0 done, 1 the conversion or the reading failed, 2 the command line is wrong.
int RunCommandLine(const std::vector<std::string>& arguments, Console console);

// Runs a parsed command line of a mode other than the window's; the audio engine must not be
// running. Returns the exit status as above.
int RunHeadless(const CommandLine& line, Console console);

}  // namespace cli
