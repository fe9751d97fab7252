// The encoder's command line: the program, the AAC/MP4 options, the tags and the output file.
#pragma once

#include <string>
#include <string_view>

namespace convert {

// The tag group of the window as the command reads it.
struct TagFields {
  bool write = false;  // tagcheck
  std::string title, artist, album, genre, year;
};

// The program the conversion starts; found beside this program first, then on PATH.
inline constexpr const char* kEncoderProgram = "faac";

// `text` between double quotes, with backslashes and quotes escaped so that the engine's
// command-line splitter gives back exactly `text` as one argument.
std::string QuotedArgument(std::string_view text);

// faac -w --mpeg-vers 4 [--title "…"] [--artist "…"] [--album "…"] [--genre "…"] [--year "…"]
// -o "output" -
// Tags only when `tags.write`, each only when its text is not empty, in that order.
std::string BuildEncoderCommand(const std::string& outputPath, const TagFields& tags);

}  // namespace convert
