#include "encoder/options.h"

#include <charconv>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/version.h>
}

#ifndef TW_VERSION
#define TW_VERSION "0"
#endif

namespace encoder {
namespace {

enum class Opt { Mp4, MpegVers, Title, Artist, Album, Genre, Year, Output, Bitrate, Quality,
                 Overwrite, Help, Version };

struct OptSpec {
  std::string_view long_name;  // without "--", empty when there is none
  char short_name;             // 0 when there is none
  bool takes_value;
  Opt id;
};

constexpr OptSpec kOptions[] = {
    {"", 'w', false, Opt::Mp4},
    {"mpeg-vers", 0, true, Opt::MpegVers},
    {"title", 0, true, Opt::Title},
    {"artist", 0, true, Opt::Artist},
    {"album", 0, true, Opt::Album},
    {"genre", 0, true, Opt::Genre},
    {"year", 0, true, Opt::Year},
    {"", 'o', true, Opt::Output},
    {"", 'b', true, Opt::Bitrate},
    {"", 'q', true, Opt::Quality},
    {"overwrite", 0, false, Opt::Overwrite},
    {"help", 'h', false, Opt::Help},
    {"version", 0, false, Opt::Version},
};

const OptSpec* FindLong(std::string_view name) {
  for (const auto& o : kOptions) {
    if (!o.long_name.empty() && o.long_name == name) return &o;
  }
  return nullptr;
}

const OptSpec* FindShort(char c) {
  for (const auto& o : kOptions) {
    if (o.short_name == c) return &o;
  }
  return nullptr;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

std::string OptName(const OptSpec& o) {
  return o.long_name.empty() ? std::string("-") + o.short_name : "--" + std::string(o.long_name);
}

// A whole decimal number within [lo, hi], nothing else.
std::optional<int> ParseInt(std::string_view s, int lo, int hi) {
  int v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) {
    return std::nullopt;
  }
  return v;
}

// Applies one option with its value; returns an error text or an empty string.
std::string Apply(const OptSpec& o, std::string_view value, ParseResult& r) {
  Options& opt = r.options;
  switch (o.id) {
    case Opt::Mp4: opt.mp4 = true; break;
    case Opt::MpegVers:
      if (value != "4") {
        return "--mpeg-vers " + Quoted(value) + ": only MPEG version 4 is supported";
      }
      break;
    case Opt::Title: opt.tags.title = std::string(value); break;
    case Opt::Artist: opt.tags.artist = std::string(value); break;
    case Opt::Album: opt.tags.album = std::string(value); break;
    case Opt::Genre: opt.tags.genre = std::string(value); break;
    case Opt::Year: opt.tags.year = std::string(value); break;
    case Opt::Output:
      if (value.empty()) return "-o: the output file name is empty";
      if (value == "-") return "-o -: writing to standard output is not supported";
      opt.output = std::string(value);
      break;
    case Opt::Bitrate: {
      auto v = ParseInt(value, kMinBitrateKbps, kMaxBitrateKbps);
      if (!v) {
        return "-b " + Quoted(value) + ": the bit rate must be a whole number of kbit/s from " +
               std::to_string(kMinBitrateKbps) + " to " + std::to_string(kMaxBitrateKbps);
      }
      opt.bitrate_kbps = *v;
      opt.mode = RateMode::Bitrate;
      break;
    }
    case Opt::Quality: {
      auto v = ParseInt(value, kMinQuality, kMaxQuality);
      if (!v) {
        return "-q " + Quoted(value) + ": the quality must be a whole number from " +
               std::to_string(kMinQuality) + " to " + std::to_string(kMaxQuality);
      }
      opt.quality = *v;
      opt.mode = RateMode::Quality;
      break;
    }
    case Opt::Overwrite: break;
    case Opt::Help: r.action = ParseAction::Help; break;
    case Opt::Version:
      if (r.action != ParseAction::Help) r.action = ParseAction::Version;
      break;
  }
  return {};
}

ParseResult Fail(std::string message) {
  ParseResult r;
  r.action = ParseAction::Error;
  r.error = std::move(message);
  return r;
}

}  // namespace

ParseResult ParseCommandLine(std::span<const std::string_view> args) {
  ParseResult r;
  r.action = ParseAction::Encode;
  std::vector<std::string_view> inputs;
  bool options_ended = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (options_ended || a == "-" || a.empty() || a[0] != '-') {
      inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      options_ended = true;
      continue;
    }

    const OptSpec* spec = nullptr;
    std::optional<std::string_view> inline_value;
    if (a.starts_with("--")) {
      std::string_view name = a.substr(2);
      if (auto eq = name.find('='); eq != std::string_view::npos) {
        inline_value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
      spec = FindLong(name);
      if (!spec) return Fail("unknown option " + Quoted(a));
      if (!spec->takes_value && inline_value) {
        return Fail("option " + OptName(*spec) + " takes no value");
      }
    } else {
      // One short option, possibly with its value attached ("-b128"); flags may be grouped ("-wh").
      for (size_t k = 1; k < a.size(); ++k) {
        spec = FindShort(a[k]);
        if (!spec) return Fail("unknown option " + Quoted(std::string("-") + a[k]) +
                               (a.size() > 2 ? " in " + Quoted(a) : ""));
        if (spec->takes_value) {
          if (k + 1 < a.size()) inline_value = a.substr(k + 1);
          break;
        }
        if (k + 1 < a.size()) {
          if (auto err = Apply(*spec, {}, r); !err.empty()) return Fail(err);
          spec = nullptr;
        }
      }
      if (!spec) continue;
    }

    std::string_view value;
    if (spec->takes_value) {
      if (inline_value) {
        value = *inline_value;
      } else if (i + 1 < args.size()) {
        value = args[++i];  // taken whole, even when it starts with '-'
      } else {
        return Fail("option " + OptName(*spec) + " needs a value");
      }
    }
    if (auto err = Apply(*spec, value, r); !err.empty()) return Fail(err);
  }

  if (r.action != ParseAction::Encode) return r;

  if (inputs.empty()) return Fail("no input given (a WAV file, or - for standard input)");
  if (inputs.size() > 1) {
    std::string list;
    for (auto in : inputs) list += (list.empty() ? "" : ", ") + Quoted(in);
    return Fail("more than one input given (" + list + "); quote a tag value that holds blanks");
  }
  if (inputs.front().empty()) return Fail("the input file name is empty");
  r.options.input = std::string(inputs.front());
  if (r.options.output.empty()) {
    if (r.options.input == "-") return Fail("reading standard input needs an output file (-o FILE)");
    r.options.output = DefaultOutputName(r.options.input, r.options.mp4);
  }
  return r;
}

std::string DefaultOutputName(const std::string& input, bool mp4) {
  // The extension is the part from the last dot of the file name on; a leading dot (".hidden")
  // starts the name rather than an extension.
  const auto slash = input.find_last_of('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = input.find_last_of('.');
  std::string stem = input;
  if (dot != std::string::npos && dot > name_start) stem = input.substr(0, dot);
  return stem + (mp4 ? ".m4a" : ".aac");
}

std::string UsageText() {
  return
      "Usage: faac [options] INPUT\n"
      "Encodes a WAV file (or, with INPUT \"-\", a WAV stream on standard input) to AAC-LC.\n"
      "\n"
      "  -w               write an MP4 file (ftyp M4A) with iTunes tags; without it, raw ADTS AAC\n"
      "  --mpeg-vers 4    MPEG-4 AAC (the only version written)\n"
      "  -o FILE          output file (default: INPUT with .m4a or .aac); replaced if it exists\n"
      "  -b KBPS          average bit rate in kbit/s, 8 to 2000 (default 256)\n"
      "  -q N             variable bit rate at quality N, 10 to 5000 (100 is the encoder's usual\n"
      "                   quality); the later of -b and -q decides\n"
      "  --title TEXT     title tag       --artist TEXT   artist tag\n"
      "  --album TEXT     album tag       --year TEXT     year tag\n"
      "  --genre TEXT     genre tag\n"
      "                   (each tag option takes the next argument, even one starting with -)\n"
      "  --overwrite      accepted for compatibility; output files are always replaced\n"
      "  --help           this text           --version  what this program is\n"
      "\n"
      "The WAV stream may give its data size as the true size, 0 or 0xFFFFFFFF; the last two\n"
      "mean \"read to the end of input\". PCM 8, 16, 24 and 32 bit and float are read.\n"
      "Exit status: 0 done, 1 encoding failed (no output left), 2 bad command line.\n";
}

std::string ToolName() { return std::string("Ombrix Tonewright faac ") + TW_VERSION; }

std::string VersionText() {
  const unsigned v = avcodec_version();
  const std::string lavc = std::to_string(AV_VERSION_MAJOR(v)) + "." +
                           std::to_string(AV_VERSION_MINOR(v)) + "." +
                           std::to_string(AV_VERSION_MICRO(v));
  return std::string("faac (Ombrix Tonewright) ") + TW_VERSION +
         "\nA faac-compatible AAC encoder built on libavcodec " + lavc +
         " (FFmpeg's native AAC encoder), part of Ombrix Tonewright.\n";
}

}  // namespace encoder
