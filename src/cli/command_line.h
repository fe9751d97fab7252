// The program's command line: `tonewright [FILE]` opens the window; with options it makes a
// ringtone, or suggests a part, without a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/encoder_command.h"
#include "convert/ringtone_kind.h"

namespace cli {

inline constexpr const char* kProgramVersion = "1.00";
// The shortest part the command line makes a ringtone of, or suggests.
inline constexpr double kShortestPartSeconds = 0.1;

struct CommandLine {
  enum class Mode { Window, Convert, Suggest, Batch, Help, Version };
  Mode mode = Mode::Window;
  std::string input;                 // FILE, as given (a path or a file:// URI); the first of a batch
  std::vector<std::string> inputs;   // a batch's files and folders, as given
  std::string output;                // --output
  std::optional<double> start, end;  // --start, --end, in seconds
  int fadeIn = 0, fadeOut = 0;       // --fade-in, --fade-out, whole seconds; 0 = none
  std::optional<int> gain;           // --gain, whole dB
  std::optional<int> highPass, lowPass;  // --high-pass, --low-pass, Hz
  convert::TagFields tags;           // write = any tag option given
  std::optional<double> length;      // --length, seconds of a suggested part
  std::optional<int> count;          // --count, suggested parts to print
  bool normalize = false;            // --normalize
  bool snap = false;                 // --snap: --start and --end on the nearest beat
  bool map = false;                  // --map: --suggest prints the song's beats, bars and sections too
  // A batch only: the kind of every ringtone (--kind), how many at once (--jobs), folders with
  // their subfolders (-r), existing ringtones replaced (--force).
  std::optional<convert::RingtoneKind> kind;
  std::optional<int> jobs;
  bool recursive = false;
  bool force = false;
};

// The result of parsing: the command line, or the one-line reason it is wrong.
struct ParsedCommandLine {
  CommandLine line;
  std::string error;  // empty when the command line is right
};

// `arguments` without the program's name. A command line without any option is the window's,
// with at most one FILE.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// True when the arguments ask for the window (no option at all).
bool WantsWindow(const std::vector<std::string>& arguments);

// A time as the options take it: seconds with decimals ("62.4") or minutes and seconds
// ("1:02.4", "1:02.400"), or hours, minutes and seconds ("1:01:02"); nothing else.
std::optional<double> ParseTime(const std::string& text);

// The usage text, ending with a newline.
std::string Usage();

}  // namespace cli
