// Running a command line that asks for no window: a ringtone written, a part suggested, the usage
// or the version printed. Needs no display; opens no audio device.
#pragma once

#include <functional>
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

// One conversion's outcome.
struct Outcome {
  int status = 0;     // 0 written, 1 failed, 2 what a command line must not ask, 128 + a signal
  std::string error;  // why, in one line, without the program's name; empty when written
};

using Warn = std::function<void(const std::string&)>;

// How one conversion reports while it runs, and how it learns of a signal.
struct OneRun {
  Warn warn = [](const std::string&) {};
  Warn note = [](const std::string&) {};  // what it did that was not asked in so many words
  std::function<void(int percent)> progress;  // optional
  std::function<int()> signalled = [] { return 0; };  // a caught signal, or 0; polled
};

// A path or a file:// URI, as a file manager passes it, as a path.
std::string LocalPath(const std::string& given);

// Makes the ringtone `output` from `input` as `line` says: its --start and --end or the suggested
// part, its effects and tags. The audio engine must be running. Any thread.
Outcome ConvertOne(const CommandLine& line, const std::string& input, const std::string& output, const OneRun& run);

// Parses `arguments` (without the program's name) and runs them. Returns the exit status:
// 0 done, 1 the conversion or the reading failed, 2 the command line is wrong.
int RunCommandLine(const std::vector<std::string>& arguments, Console console);

// Runs a parsed command line of a mode other than the window's; the audio engine must not be
// running. Returns the exit status as above.
int RunHeadless(const CommandLine& line, Console console);

}  // namespace cli
