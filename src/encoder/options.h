// The command line of the faac-compatible encoder.
//
// Accepted (getopt style: "-b 128", "-b128", "--title X", "--title=X"; "--" ends the options):
//   -w                 MP4 container (without it: raw AAC in ADTS frames)
//   --mpeg-vers 4      MPEG-4 AAC (the only version written)
//   --title/--artist/--album/--genre/--year VALUE
//                      tags; the next argument is the value even when it starts with '-'
//   -o FILE            output file
//   -b KBPS            average bit rate in kbit/s (default 256)
//   -q N               quality (variable bit rate); the later of -b and -q decides the mode
//   --overwrite        accepted; an existing output file is always replaced
//   --help, --version
//   INPUT              one WAV file, or "-" for standard input
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "encoder/tags.h"

namespace encoder {

inline constexpr int kDefaultBitrateKbps = 256;
inline constexpr int kMinBitrateKbps = 8;
inline constexpr int kMaxBitrateKbps = 2000;
inline constexpr int kMinQuality = 10;
inline constexpr int kMaxQuality = 5000;

enum class RateMode { Bitrate, Quality };

struct Options {
  bool mp4 = false;                 // -w
  std::string input;                // "-" = standard input
  std::string output;               // -o, or derived from a named input
  RateMode mode = RateMode::Bitrate;
  int bitrate_kbps = kDefaultBitrateKbps;
  int quality = 100;                // used when mode == Quality
  Tags tags;
};

enum class ParseAction {
  Encode,   // options holds a complete request
  Help,     // print UsageText() on stdout, exit 0
  Version,  // print VersionText() on stdout, exit 0
  Error,    // print error on stderr (with a pointer to --help), exit 2
};

struct ParseResult {
  ParseAction action = ParseAction::Error;
  Options options;
  std::string error;  // for ParseAction::Error: one line, without the program name
};

// Parses the arguments after the program name.
ParseResult ParseCommandLine(std::span<const std::string_view> args);

// The output name faac derives from a named input: its extension replaced by ".m4a" (MP4) or
// ".aac" (ADTS).
std::string DefaultOutputName(const std::string& input, bool mp4);

std::string UsageText();
std::string VersionText();
// The name written as the file's encoding tool.
std::string ToolName();

}  // namespace encoder
