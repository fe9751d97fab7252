// The tags written into the MP4 file and the rules that turn command-line texts into them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace encoder {

// The number of ID3v1 genres including the Winamp extensions; a genre number is 1..this.
inline constexpr int kId3v1GenreCount = 192;

struct Tags {
  std::optional<std::string> title, artist, album, genre, year;
};

// How a --genre text is written: a whole number 1..kId3v1GenreCount (ID3v1 index + 1) becomes the
// "gnre" atom; any other text the "©gen" text atom.
struct GenreTag {
  std::optional<uint16_t> number;  // for "gnre"
  std::string text;                // for "©gen" when number is empty
};
GenreTag ClassifyGenre(const std::string& value);

// Returns `s` when it is valid UTF-8, otherwise reads it as Latin-1 (the usual 8-bit code page of
// the texts the conversion passes) and returns that in UTF-8, so that the tags are always UTF-8.
std::string ToUtf8(const std::string& s);
bool IsValidUtf8(const std::string& s);

}  // namespace encoder
