#include "cli/run_many.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

#include "cli/signals.h"
#include "source/input_choice.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "tonewright";

// A folder's files that the program opens, sorted; with `recursive` its subfolders' after them.
bool AddFolder(const fs::path& folder, bool recursive, std::vector<std::string>* out) {
  std::error_code ec;
  std::vector<fs::path> files, folders;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (it->is_directory(kind)) folders.push_back(it->path());
    else if (source::IsAcceptedName(it->path().string())) files.push_back(it->path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& f : files) out->push_back(f.string());
  if (recursive)
    for (const fs::path& f : folders)
      if (!AddFolder(f, true, out)) return false;
  return true;
}

std::string FileName(const std::string& path) { return fs::path(path).filename().string(); }

// The file name without its extension (the part from its last dot on).
std::string Stem(const std::string& path) {
  const std::string name = FileName(path);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// "3/8 song.mp3, other.mp3", at most a terminal line long.
std::string ProgressText(size_t done, size_t total, const std::set<std::string>& running) {
  std::string text = std::to_string(done) + "/" + std::to_string(total);
  for (const std::string& name : running) text += (text.find(' ') == std::string::npos ? " " : ", ") + name;
  if (text.size() > 79) text = text.substr(0, 76) + "...";
  return text;
}

}  // namespace

std::vector<std::string> BatchInputs(const std::vector<std::string>& given, bool recursive, std::string* error) {
  std::vector<std::string> inputs;
  for (const std::string& g : given) {
    const std::string path = LocalPath(g);
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      inputs.push_back(path);
    } else if (!AddFolder(path, recursive, &inputs)) {
      *error = path + ": the folder cannot be read";
      return {};
    }
  }
  return inputs;
}

std::vector<Planned> PlanBatch(const std::vector<std::string>& inputs, const std::string& folder, convert::RingtoneKind kind,
                               bool force, const std::function<bool(const std::string&)>& exists) {
  const std::string ext = convert::ExtensionOf(kind);
  const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::set<std::string> taken;
  std::vector<Planned> plan;
  for (const std::string& input : inputs) {
    Planned p;
    p.input = input;
    p.title = Stem(input);
    std::string name = p.title + ext;
    for (int n = 2; taken.count(name) != 0; ++n) name = p.title + " (" + std::to_string(n) + ")" + ext;
    taken.insert(name);
    p.output = dir + name;
    p.skip = !force && exists(p.output);
    plan.push_back(std::move(p));
  }
  return plan;
}

std::string ResultLine(BatchResult result, const std::string& input, const std::string& detail) {
  switch (result) {
    case BatchResult::Ok: return "OK\t" + input + "\t" + detail;
    case BatchResult::Skipped: return "SKIPPED\t" + input + "\t" + detail;
    case BatchResult::Failed: return "FAILED\t" + input + "\t" + detail;
    case BatchResult::Stopped: break;
  }
  return {};
}

int BatchStatus(const std::vector<BatchResult>& results, int signal) {
  if (signal != 0) return 128 + signal;
  return std::find(results.begin(), results.end(), BatchResult::Failed) != results.end() ? 1 : 0;
}

int RunMany(const CommandLine& line, Console console) {
  std::string error;
  const std::vector<std::string> inputs = BatchInputs(line.inputs, line.recursive, &error);
  if (!error.empty()) {
    console.err << kProgram << ": " << error << "\n";
    return 1;
  }
  if (inputs.empty()) {
    console.err << kProgram << ": no file to make a ringtone of\n";
    return 1;
  }
  const std::string folder = line.output;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    console.err << kProgram << ": --output: " << folder << " is not a folder and cannot be made one\n" << Usage();
    return 2;
  }
  const auto exists = [](const std::string& path) {
    std::error_code e;
    return fs::exists(path, e);
  };
  const std::vector<Planned> plan =
      PlanBatch(inputs, folder, line.kind.value_or(convert::RingtoneKind::IPhone), line.force, exists);

  std::vector<BatchResult> results(plan.size(), BatchResult::Stopped);
  std::vector<std::string> details(plan.size());
  std::vector<bool> finished(plan.size(), false);
  std::mutex m;  // guards results, details, finished, printed, running and the console
  size_t printed = 0, done = 0;
  std::set<std::string> running;
  const auto showProgress = [&] {
    if (console.progress) console.err << "\r\033[K" << ProgressText(done, plan.size(), running) << std::flush;
  };
  // Prints, in the inputs' order, every line whose earlier ones are all printed.
  const auto report = [&](size_t i, BatchResult result, std::string detail) {
    std::lock_guard lock(m);
    results[i] = result;
    details[i] = std::move(detail);
    finished[i] = true;
    ++done;
    running.erase(FileName(plan[i].input));
    if (console.progress) console.err << "\r\033[K";
    for (; printed < plan.size() && finished[printed]; ++printed) {
      const std::string text = ResultLine(results[printed], plan[printed].input, details[printed]);
      if (!text.empty()) console.out << text << "\n";
    }
    console.out.flush();
    showProgress();
  };

  const SignalCatch catching;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (;;) {
      const size_t i = next.fetch_add(1);
      if (i >= plan.size() || CaughtSignal() != 0) return;
      const Planned& p = plan[i];
      if (p.skip) {
        report(i, BatchResult::Skipped, p.output + " exists; --force replaces it");
        continue;
      }
      {
        std::lock_guard lock(m);
        running.insert(FileName(p.input));
        showProgress();
      }
      CommandLine one = line;
      one.tags.write = true;
      one.tags.title = p.title;
      OneRun run;
      run.signalled = CaughtSignal;
      const Outcome outcome = ConvertOne(one, p.input, p.output, run);
      if (outcome.status == 0) report(i, BatchResult::Ok, p.output);
      else if (outcome.status > 128) report(i, BatchResult::Stopped, {});
      else report(i, BatchResult::Failed, outcome.error);
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t jobs = std::min<size_t>(plan.size(), static_cast<size_t>(line.jobs.value_or(static_cast<int>(cores))));
  std::vector<std::thread> workers;
  for (size_t j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& t : workers) t.join();
  const int signal = CaughtSignal();
  // Stopped by a signal: what finished after the first file it stopped is reported too.
  for (; printed < plan.size(); ++printed) {
    const std::string text = finished[printed] ? ResultLine(results[printed], plan[printed].input, details[printed]) : "";
    if (!text.empty()) console.out << text << "\n";
  }
  if (console.progress) console.err << "\r\033[K" << std::flush;
  if (signal != 0) console.err << kProgram << ": stopped; the ringtones finished before are kept\n";
  console.out.flush();
  if (!console.out) {
    console.err << kProgram << ": the standard output cannot be written\n";
    return signal != 0 ? 128 + signal : 1;
  }
  return BatchStatus(results, signal);
}

}  // namespace cli
