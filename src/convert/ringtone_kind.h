// The kinds of ringtone: the iPhone's AAC in MP4 (.m4r, written by the encoder program), Android's
// Ogg Vorbis (.ogg) and MP3 (.mp3), both written in this process.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace convert {

enum class RingtoneKind { IPhone, Android, Mp3 };

// ".m4r", ".ogg" or ".mp3".
const char* ExtensionOf(RingtoneKind kind);
// The kind whose extension `lowerExtension` is; none for another.
std::optional<RingtoneKind> KindOfExtension(std::string_view lowerExtension);
// The kind a file name asks for by its extension (any case); the iPhone's for any other name.
RingtoneKind KindOfName(std::string_view path);
// `name` when its extension is the kind's (".m4r" for the iPhone) in any case, else `name` with it
// appended.
std::string RingtoneFileName(const std::string& name, RingtoneKind kind);
// The phone choice's text: "iPhone (.m4r)", "Android (.ogg)", "MP3 (.mp3)".
const char* ChoiceText(RingtoneKind kind);

}  // namespace convert
