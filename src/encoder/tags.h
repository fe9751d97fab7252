// The tags written into the MP4 file and the rules that turn command-line texts into them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace encoder {

// Every tag is written as the text given, the genre too ("©gen"): a genre of digits is not read
// as an ID3v1 genre number, which every reader would show as another genre ("17" as "Reggae").
struct Tags {
  std::optional<std::string> title, artist, album, genre, year;
};

// Returns `s` when it is valid UTF-8, otherwise reads it as Latin-1 (the usual 8-bit code page of
// the texts the conversion passes) and returns that in UTF-8, so that the tags are always UTF-8.
std::string ToUtf8(const std::string& s);
bool IsValidUtf8(const std::string& s);

}  // namespace encoder
