// Which engine opener takes a file, chosen by its extension, and the flags of the streams opened
// with it.
#pragma once

#include <string>
#include <string_view>

#include "audio/engine.h"

namespace source {

using Opener = audio::Handle (*)(const char* path, uint64_t offset, uint64_t length, uint32_t flags);

// Stream flags of the two streams of an opened file and of the conversion's source.
inline constexpr uint32_t kPreviewFlags = audio::STREAM_PRESCAN;
inline constexpr uint32_t kScanFlags = audio::STREAM_DECODE | audio::STREAM_PRESCAN;
inline constexpr uint32_t kRenderFlags = audio::STREAM_DECODE | audio::SAMPLE_FLOAT;

// The extension of a path's file name: from its last dot on, dot included, A–Z lower-cased;
// empty when the name has no dot.
std::string LowerExtension(std::string_view path);

// The opener of the preview and scan streams.
Opener SourceOpener(std::string_view lowerExtension);
// The opener of the conversion's stream: the same table, except that ".ac3" has its own.
Opener RenderOpener(std::string_view lowerExtension);

// Opens `path` with the opener its extension chooses (from SourceOpener or RenderOpener); a file
// that opener refuses (an MP3 named .flac, an AAC file named .m4b) opens by its content through
// the general opener. 0 when neither takes it.
audio::Handle OpenSourceStream(const std::string& path, uint32_t flags);
audio::Handle OpenRenderStream(const std::string& path, uint32_t flags);

// Why `path` did not open, in words its user understands, from the error the last opening on
// this thread left (`engineError`, audio::ErrorGetCode()) and the file system: the file system's
// own words ("No such file or directory", "Permission denied"), "is a folder", "has no sound",
// "is empty", "is damaged", or "is not a sound or video file Tonewright can read".
std::string OpenFailureReason(const std::string& path, int engineError);
// Why `path` does not open as the preview and the scan open it, found by trying it once more (a
// failed opening costs little); empty when it opens now. Call it with the engine initialised.
std::string WhyNotOpened(const std::string& path);

}  // namespace source
