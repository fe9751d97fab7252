#include "app/command_line.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

namespace app {

namespace {

// Digits with at most one decimal point, at least one digit; no sign, no exponent.
std::optional<double> Decimal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int digits = 0, points = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) ++digits;
    else if (c == '.') ++points;
    else return std::nullopt;
  }
  if (digits == 0 || points > 1) return std::nullopt;
  return std::strtod(text.c_str(), nullptr);
}

// A whole number, with an optional sign.
std::optional<int> Whole(const std::string& text) {
  size_t at = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (at == text.size() || text.size() - at > 6) return std::nullopt;
  for (size_t i = at; i < text.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  return std::atoi(text.c_str());
}

}  // namespace

std::optional<double> ParseTime(const std::string& text) {
  std::vector<std::string> parts{""};
  for (char c : text) {
    if (c == ':') parts.emplace_back();
    else parts.back() += c;
  }
  if (parts.size() > 3) return std::nullopt;
  double seconds = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const auto value = Decimal(parts[i]);
    if (!value) return std::nullopt;
    // Only the seconds carry decimals; after the first field, minutes and seconds stay below 60.
    if (!last && parts[i].find('.') != std::string::npos) return std::nullopt;
    if (i > 0 && *value >= 60) return std::nullopt;
    seconds = seconds * 60 + *value;
  }
  if (!std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

bool WantsWindow(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments)
    if (a.size() > 1 && a[0] == '-') return false;
  return true;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  CommandLine& line = parsed.line;
  std::string& error = parsed.error;
  const bool window = WantsWindow(arguments);
  if (window) {
    if (arguments.size() > 1) error = "more than one file given";
    else if (!arguments.empty()) line.input = arguments[0];
    return parsed;
  }

  bool suggest = false, help = false, version = false, optionsEnded = false;
  std::vector<std::string> files;
  std::set<std::string> given;
  // Options with a value; each parses its value or says why it cannot.
  using Setter = std::function<std::string(const std::string&)>;
  const auto seconds = [](std::optional<double>& into, const char* name) -> Setter {
    return [&into, name](const std::string& v) -> std::string {
      into = ParseTime(v);
      return into ? "" : std::string(name) + ": '" + v + "' is not a time (seconds such as 62.4, or m:ss.fff such as 1:02.4)";
    };
  };
  const auto fade = [](int& into, const char* name) -> Setter {
    return [&into, name](const std::string& v) -> std::string {
      const auto n = Whole(v);
      if (!n || *n < 1 || *n > 10) return std::string(name) + ": '" + v + "' is not a whole number of seconds from 1 to 10";
      into = *n;
      return "";
    };
  };
  const auto hertz = [](std::optional<int>& into, const char* name) -> Setter {
    return [&into, name](const std::string& v) -> std::string {
      const auto hz = Decimal(v);
      if (!hz || *hz < 1 || *hz > 22050) return std::string(name) + ": '" + v + "' is not a frequency from 1 to 22050 Hz";
      into = static_cast<int>(std::lround(*hz));
      return "";
    };
  };
  const auto tag = [&line](std::string& into) -> Setter {
    return [&line, &into](const std::string& v) -> std::string {
      into = v;
      line.tags.write = true;
      return "";
    };
  };
  const std::map<std::string, Setter> valued = {
      {"--output", [&](const std::string& v) -> std::string {
         line.output = v;
         return v.empty() ? "--output: the file name is empty" : "";
       }},
      {"--start", seconds(line.start, "--start")},
      {"--end", seconds(line.end, "--end")},
      {"--length", [&](const std::string& v) -> std::string {
         line.length = ParseTime(v);
         if (!line.length) return "--length: '" + v + "' is not a length in seconds";
         return *line.length >= kShortestPartSeconds ? "" : "--length: '" + v + "' is shorter than 0.1 s";
       }},
      {"--fade-in", fade(line.fadeIn, "--fade-in")},
      {"--fade-out", fade(line.fadeOut, "--fade-out")},
      {"--gain", [&](const std::string& v) -> std::string {
         line.gain = Whole(v);
         return line.gain && *line.gain >= -12 && *line.gain <= 12 ? "" : "--gain: '" + v + "' is not a whole number of dB from -12 to 12";
       }},
      {"--high-pass", hertz(line.highPass, "--high-pass")},
      {"--low-pass", hertz(line.lowPass, "--low-pass")},
      {"--title", tag(line.tags.title)},
      {"--artist", tag(line.tags.artist)},
      {"--album", tag(line.tags.album)},
      {"--genre", tag(line.tags.genre)},
      {"--year", tag(line.tags.year)},
  };
  const std::map<std::string, bool*> flags = {
      {"--suggest", &suggest}, {"--normalize", &line.normalize}, {"--help", &help}, {"--version", &version}};

  for (size_t i = 0; i < arguments.size() && error.empty(); ++i) {
    const std::string& a = arguments[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      files.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a == "-h") {
      help = true;
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    if (!given.insert(name).second) {
      error = name + " is given twice";
      break;
    }
    if (const auto f = flags.find(name); f != flags.end() && eq == std::string::npos) {
      *f->second = true;
    } else if (const auto v = valued.find(name); v != valued.end()) {
      if (eq != std::string::npos) {
        error = v->second(a.substr(eq + 1));
      } else if (i + 1 < arguments.size()) {
        error = v->second(arguments[++i]);
      } else {
        error = name + ": a value is missing";
      }
    } else {
      error = "unknown option '" + a + "'";
    }
  }
  if (!error.empty()) return parsed;
  if (help) {
    line.mode = CommandLine::Mode::Help;
    return parsed;
  }
  if (version) {
    line.mode = CommandLine::Mode::Version;
    return parsed;
  }
  if (files.empty()) {
    error = "no file given";
  } else if (files.size() > 1) {
    error = "more than one file given";
  } else if (suggest && !line.output.empty()) {
    error = "--suggest and --output do not go together";
  } else if (!suggest && line.output.empty()) {
    error = "--output is missing";
  } else if (line.length && (line.start || line.end)) {
    error = "--length goes with --suggest, or a conversion of the suggested part (without --start and --end)";
  } else if (line.normalize && line.gain) {
    error = "--gain and --normalize do not go together";
  } else if (line.start && line.end && *line.start >= *line.end) {
    error = "the start is not before the end";
  }
  if (!error.empty()) return parsed;
  line.input = files[0];
  line.mode = suggest ? CommandLine::Mode::Suggest : CommandLine::Mode::Convert;
  return parsed;
}

std::string Usage() {
  return "Usage: tonewright [FILE]\n"
         "       tonewright --output OUT [options] FILE\n"
         "       tonewright --suggest [--length SECONDS] FILE\n"
         "\n"
         "Without options, opens the window (with FILE when given).\n"
         "With --output, makes the ringtone OUT (.m4r is appended when missing) from FILE\n"
         "without a window. Without --start and --end, the suggested part is taken.\n"
         "\n"
         "Options:\n"
         "  --output OUT      the ringtone to write\n"
         "  --start T         where the ringtone starts (default: the file's start)\n"
         "  --end T           where it ends, not included (default: the file's end)\n"
         "                    T is seconds with decimals (62.4) or m:ss.fff (1:02.4)\n"
         "  --fade-in S       fade in over S seconds (1 to 10)\n"
         "  --fade-out S      fade out over S seconds (1 to 10)\n"
         "  --gain DB         gain in whole dB (-12 to 12)\n"
         "  --normalize       set the gain that raises a quiet part towards -14 LUFS as far\n"
         "                    as a true peak of -1 dBTP allows; a louder part keeps its\n"
         "                    level unless its peak needs room (then it is lowered)\n"
         "  --high-pass HZ    cut what lies below HZ\n"
         "  --low-pass HZ     cut what lies above HZ\n"
         "  --title TEXT, --artist TEXT, --album TEXT, --genre TEXT, --year TEXT\n"
         "                    tags of the ringtone\n"
         "  --suggest         print the suggested part as START END (seconds)\n"
         "  --length SECONDS  the length of the suggested part\n"
         "  --help            print this help\n"
         "  --version         print the version\n"
         "\n"
         "Exit status: 0 written, 1 the conversion failed, 2 the command line is wrong.\n";
}

}  // namespace app
