#include "cli/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <utility>

namespace cli {

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

namespace {

// The option's name as people type it: "--output", or "-o" for a one-letter name.
std::string Dashed(const QString& name) {
  return (name.size() == 1 ? "-" : "--") + name.toStdString();
}

// The name an error speaks of: the option's long name.
std::string LongName(const QCommandLineOption& option) { return Dashed(option.names().back()); }

}  // namespace

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
  const auto valued = [](QStringList names) { return QCommandLineOption(names, QString(), QStringLiteral("value")); };
  const std::vector<std::pair<QCommandLineOption, Setter>> values = {
      {valued({"o", "output"}), [&](const std::string& v) -> std::string {
         line.output = v;
         return v.empty() ? "--output: the file name is empty" : "";
       }},
      {valued({"s", "start"}), seconds(line.start, "--start")},
      {valued({"e", "end"}), seconds(line.end, "--end")},
      {valued({"length"}), [&](const std::string& v) -> std::string {
         line.length = ParseTime(v);
         if (!line.length) return "--length: '" + v + "' is not a length in seconds";
         return *line.length >= kShortestPartSeconds ? "" : "--length: '" + v + "' is shorter than 0.1 s";
       }},
      {valued({"count"}), [&](const std::string& v) -> std::string {
         line.count = Whole(v);
         return line.count && *line.count >= 1 && *line.count <= 10 ? "" : "--count: '" + v + "' is not a whole number from 1 to 10";
       }},
      {valued({"fade-in"}), fade(line.fadeIn, "--fade-in")},
      {valued({"fade-out"}), fade(line.fadeOut, "--fade-out")},
      {valued({"gain"}), [&](const std::string& v) -> std::string {
         line.gain = Whole(v);
         return line.gain && *line.gain >= -12 && *line.gain <= 12 ? "" : "--gain: '" + v + "' is not a whole number of dB from -12 to 12";
       }},
      {valued({"high-pass"}), hertz(line.highPass, "--high-pass")},
      {valued({"low-pass"}), hertz(line.lowPass, "--low-pass")},
      {valued({"kind"}), [&](const std::string& v) -> std::string {
         line.kind = convert::KindOfExtension("." + v);
         return line.kind ? "" : "--kind: '" + v + "' is not m4r, ogg or mp3";
       }},
      {valued({"jobs"}), [&](const std::string& v) -> std::string {
         line.jobs = Whole(v);
         return line.jobs && *line.jobs >= 1 && *line.jobs <= 64 ? "" : "--jobs: '" + v + "' is not a whole number from 1 to 64";
       }},
      {valued({"title"}), tag(line.tags.title)},
      {valued({"artist"}), tag(line.tags.artist)},
      {valued({"album"}), tag(line.tags.album)},
      {valued({"genre"}), tag(line.tags.genre)},
      {valued({"year"}), tag(line.tags.year)},
  };
  bool suggest = false, help = false, version = false;
  const std::vector<std::pair<QCommandLineOption, bool*>> flags = {
      {QCommandLineOption(QStringList{"suggest"}), &suggest},
      {QCommandLineOption(QStringList{"normalize"}), &line.normalize},
      {QCommandLineOption(QStringList{"snap"}), &line.snap},
      {QCommandLineOption(QStringList{"map"}), &line.map},
      {QCommandLineOption(QStringList{"r", "recursive"}), &line.recursive},
      {QCommandLineOption(QStringList{"force"}), &line.force},
      {QCommandLineOption(QStringList{"h", "help"}), &help},
      {QCommandLineOption(QStringList{"V", "version"}), &version},
  };

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  for (const auto& [option, set] : values) parser.addOption(option);
  for (const auto& [option, set] : flags) parser.addOption(option);
  QStringList args{QStringLiteral("tonewright")};
  for (const std::string& a : arguments) args << QString::fromStdString(a);
  if (!parser.parse(args)) {
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
      error = "unknown option '" + Dashed(unknown.front()) + "'";
    } else {
      // "Missing value after '--end'.": the option is the quoted part.
      const QString text = parser.errorText();
      const qsizetype from = text.indexOf(QLatin1Char('\'')), to = text.lastIndexOf(QLatin1Char('\''));
      QString name = from >= 0 && to > from ? text.mid(from + 1, to - from - 1) : QString();
      while (name.startsWith(QLatin1Char('-'))) name.remove(0, 1);
      error = text.toStdString();
      for (const auto& [option, set] : values)
        if (option.names().contains(name)) error = LongName(option) + ": a value is missing";
      for (const auto& [option, set] : flags)
        if (option.names().contains(name)) error = LongName(option) + ": takes no value";
    }
    return parsed;
  }
  // Each option once; the names the parser met, in order, tell how often.
  const QStringList met = parser.optionNames();
  const auto twice = [&](const QCommandLineOption& option) {
    qsizetype count = 0;
    for (const QString& name : option.names()) count += met.count(name);
    return count > 1;
  };
  for (const auto& [option, set] : values) {
    if (twice(option)) return error = LongName(option) + " is given twice", parsed;
  }
  for (const auto& [option, set] : flags) {
    if (twice(option)) return error = LongName(option) + " is given twice", parsed;
    *set = parser.isSet(option);
  }
  for (const auto& [option, set] : values) {
    if (!parser.isSet(option)) continue;
    error = set(parser.value(option).toStdString());
    if (!error.empty()) return parsed;
  }
  if (help) {
    line.mode = CommandLine::Mode::Help;
    return parsed;
  }
  if (version) {
    line.mode = CommandLine::Mode::Version;
    return parsed;
  }
  const QStringList files = parser.positionalArguments();
  // What only a conversion uses, which --suggest would silently ignore.
  std::string conversionOnly;
  for (const char* name : {"start", "end", "fade-in", "fade-out", "gain", "normalize", "high-pass", "low-pass", "title",
                           "artist", "album", "genre", "year", "snap"}) {
    if (conversionOnly.empty() && parser.isSet(QString::fromLatin1(name))) conversionOnly = std::string("--") + name;
  }
  // The rules between options, the first that is broken named.
  // Several files, or a folder, make a batch: a ringtone of each into the folder --output names.
  const bool batch = files.size() > 1 || (files.size() == 1 && QFileInfo(files.front()).isDir());
  std::string oneFileOnly;  // what a batch takes and a single file does not
  for (const char* name : {"kind", "jobs", "recursive", "force"}) {
    if (oneFileOnly.empty() && parser.isSet(QString::fromLatin1(name))) oneFileOnly = std::string("--") + name;
  }
  const std::pair<bool, std::string> rules[] = {
      {files.empty(), "no file given"},
      {suggest && files.size() > 1, "more than one file given; --suggest takes one"},
      {suggest && batch, "--suggest takes a file, not a folder"},
      {!suggest && !batch && !oneFileOnly.empty(), oneFileOnly + " goes with several files or a folder"},
      {batch && parser.isSet(QStringLiteral("title")),
       "--title goes with one file; in a batch each ringtone's title is its song's file name"},
      {suggest && !line.output.empty(), "--suggest and --output do not go together"},
      {suggest && !conversionOnly.empty(), "--suggest and " + conversionOnly + " do not go together"},
      {!suggest && line.output.empty(), "--output is missing"},
      {line.count && !suggest, "--count goes with --suggest"},
      {line.map && !suggest, "--map goes with --suggest"},
      {line.snap && !line.start && !line.end, "--snap goes with --start or --end"},
      {line.length && (line.start || line.end),
       "--length goes with --suggest, or a conversion of the suggested part (without --start and --end)"},
      {line.normalize && line.gain.has_value(), "--gain and --normalize do not go together"},
      {line.start && line.end && *line.start >= *line.end, "the start is not before the end"},
  };
  for (const auto& [broken, message] : rules) {
    if (broken) {
      error = message;
      break;
    }
  }
  if (!error.empty()) return parsed;
  line.input = files.front().toStdString();
  for (const QString& f : files) line.inputs.push_back(f.toStdString());
  line.mode = suggest ? CommandLine::Mode::Suggest : batch ? CommandLine::Mode::Batch : CommandLine::Mode::Convert;
  return parsed;
}

std::string Usage() {
  return "Usage: tonewright [FILE]\n"
         "       tonewright -o OUT [options] FILE\n"
         "       tonewright --suggest [--length SECONDS] [--count N] [--map] FILE\n"
         "       tonewright -o DIR/ [options] FILE... | FOLDER\n"
         "\n"
         "Without options, opens the window (with FILE when given).\n"
         "With --output, makes the ringtone OUT from FILE without a window: an iPhone's\n"
         "AAC for a name ending in .m4r, Android's Ogg Vorbis for .ogg, an MP3 for .mp3\n"
         "(.m4r is appended to any other name; an existing folder gets FILE's name).\n"
         "Without --start and --end, the suggested part is taken.\n"
         "With several files or a folder, writes a ringtone of each into the folder DIR\n"
         "(made if missing), named after its song, and prints a line for each:\n"
         "OK, SKIPPED or FAILED, a tab, the file, a tab, the ringtone or the reason.\n"
         "\n"
         "Options:\n"
         "  -o, --output OUT  the ringtone to write\n"
         "  -s, --start T     where the ringtone starts (default: the file's start)\n"
         "  -e, --end T       where it ends, not included (default: the file's end)\n"
         "                    T is seconds with decimals (62.4) or m:ss.fff (1:02.4)\n"
         "  --fade-in S       fade in over S seconds (1 to 10)\n"
         "  --fade-out S      fade out over S seconds (1 to 10); fades longer than the\n"
         "                    part are shortened to fit it\n"
         "  --gain DB         gain in whole dB (-12 to 12)\n"
         "  --normalize       set the gain that raises a quiet part towards -14 LUFS as far\n"
         "                    as a true peak of -1 dBTP allows; a louder part keeps its\n"
         "                    level unless its peak needs room (then it is lowered)\n"
         "  --high-pass HZ    cut what lies below HZ\n"
         "  --low-pass HZ     cut what lies above HZ\n"
         "  --title TEXT, --artist TEXT, --album TEXT, --genre TEXT, --year TEXT\n"
         "                    tags of the ringtone\n"
         "  --suggest         print the suggested part as START END (seconds): the chorus\n"
         "                    from its first beat, in whole bars\n"
         "  --length SECONDS  the longest the suggested part may be (29 by default)\n"
         "  --count N         print up to N distinct parts, best first, one a line\n"
         "  --map             after the parts, the song's beats, bar lines and sections:\n"
         "                    'beat T', 'bar T', 'section START END GROUP', one a line\n"
         "  --snap            put --start and --end on the nearest beat (said on stderr)\n"
         "  --kind KIND       with several files: m4r (default), ogg or mp3\n"
         "  --jobs N          with several files: how many at once (default: the cores)\n"
         "  -r, --recursive   with a folder: its subfolders' files too\n"
         "  --force           with several files: replace ringtones that exist (they are\n"
         "                    kept, and SKIPPED, without it)\n"
         "  -h, --help        print this help\n"
         "  -V, --version     print the version\n"
         "\n"
         "Exit status: 0 written, 1 the conversion failed (with several files: any of\n"
         "them), 2 the command line is wrong, 128 + N stopped by signal N.\n";
}

}  // namespace cli
