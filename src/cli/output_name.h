// The ringtone file the command line writes for its --output.
#pragma once

#include <string>

namespace cli {

// The ringtone file for the command line's --output: an existing folder (with or without a
// trailing slash) takes the input's name with ".m4r", as cp would put a copy there; a name with a
// ringtone extension (".m4r", ".ogg", ".mp3", any case) stays as it is; any other gets ".m4r". Empty when the name ends in a slash but names no folder, so that
// a name whose last part is empty never becomes a hidden ".m4r".
std::string CommandLineRingtoneFile(const std::string& output, const std::string& input);

}  // namespace cli
