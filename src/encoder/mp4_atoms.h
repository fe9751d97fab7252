// Edits of a finished MP4 file that libavformat's muxer cannot make: extra iTunes metadata items
// (the numeric genre "gnre") added to moov/udta/meta/ilst.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace encoder {

using Bytes = std::vector<uint8_t>;

// A box: 32-bit size, type, payload.
Bytes Mp4Box(const char type[4], const Bytes& payload);
// The ilst item "gnre" holding an ID3v1 genre index + 1.
Bytes GnreItem(uint16_t genre);

// Appends `items` to the ilst of a complete moov box (header included), creating udta, meta
// (with its "mdir" handler) and ilst where they are missing, and updates every enclosing size.
// Returns false when `moov` is not a well-formed moov box.
bool AppendIlstItems(Bytes& moov, const Bytes& items);

// Appends `items` to the ilst of the MP4 file open on `fd` (read and write). The moov box must be
// the file's last top-level box, as libavformat writes it without "faststart", so that growing it
// moves no sample data. Throws EncodeError (naming `name`) when the file cannot be edited.
void AppendIlstItemsToFile(int fd, const Bytes& items, const std::string& name);

}  // namespace encoder
