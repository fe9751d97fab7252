// Edits of a finished MP4 file that libavformat's muxer cannot make: an extra iTunes metadata item
// (the gapless playback item "iTunSMPB") added to moov/udta/meta/ilst.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace encoder {

using Bytes = std::vector<uint8_t>;

// A box: 32-bit size, type, payload.
Bytes Mp4Box(const char type[4], const Bytes& payload);
// The "----" item com.apple.iTunes / iTunSMPB: the encoder's priming samples, the padding after
// the audio and the audio's own sample count, which Apple's players use to play it gaplessly
// (others use the edit list the muxer writes).
Bytes ITunSmpbItem(uint32_t priming, uint32_t padding, uint64_t samples);

// Appends `items` to the ilst of a complete moov box (header included), creating udta, meta
// (with its "mdir" handler) and ilst where they are missing, and updates every enclosing size.
// Returns false when `moov` is not a well-formed moov box.
bool AppendIlstItems(Bytes& moov, const Bytes& items);

// Appends `items` to the ilst of the MP4 file open on `fd` (read and write). The moov box must be
// the file's last top-level box, as libavformat writes it without "faststart", so that growing it
// moves no sample data. Throws EncodeError (naming `name`) when the file cannot be edited.
void AppendIlstItemsToFile(int fd, const Bytes& items, const std::string& name);

}  // namespace encoder
