// Many ringtones in one run: a ringtone of each of several files, or of a folder's songs, into
// one folder, several at once, with a result line for each in the order the files were given.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_one.h"
#include "convert/ringtone_kind.h"

namespace cli {

// The files of a batch, in order: each file as given; each folder's files whose names the program
// opens, sorted by name (with `recursive`, then its subfolders', sorted, one after another).
// `error` says which folder could not be read.
std::vector<std::string> BatchInputs(const std::vector<std::string>& given, bool recursive, std::string* error);

// What a batch does with one input.
struct Planned {
  std::string input;
  std::string output;  // in the output folder
  std::string title;   // the input's file name without its extension
  bool skip = false;   // an existing ringtone is kept
};

// The ringtones of `inputs` in `folder`: each named after its input's file name with the kind's
// extension, "name (2).m4r" for the second input of a name already taken by an earlier one;
// a name that `exists` is skipped unless `force`. The same inputs give the same names each run.
std::vector<Planned> PlanBatch(const std::vector<std::string>& inputs, const std::string& folder, convert::RingtoneKind kind,
                               bool force, const std::function<bool(const std::string&)>& exists);

enum class BatchResult { Ok, Skipped, Failed, Stopped };

// The line a result prints: "OK", "SKIPPED" or "FAILED", the input, and the ringtone or the reason,
// separated by tabs. Empty for a file a signal stopped.
std::string ResultLine(BatchResult result, const std::string& input, const std::string& detail);

// The exit status of a batch: 128 + `signal` when one stopped it, 1 when any file failed, else 0
// (a skipped file counts as done).
int BatchStatus(const std::vector<BatchResult>& results, int signal);

// Runs a batch command line (the audio engine running); prints the result lines on `out` in the
// inputs' order and a progress line on `err` when `progress`. Returns the exit status.
int RunMany(const CommandLine& line, Console console);

}  // namespace cli
