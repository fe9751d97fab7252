// The suggested part of a file, for the command line: the file opened as the scan opens it,
// decoded once into the feature gatherer, the part chosen.
#pragma once

#include <optional>
#include <string>

#include "analysis/chorus.h"

namespace analysis {

// The suggestion for `path` with a part of `lengthSeconds`; nothing when the file cannot be
// opened or decodes to nothing. The engine must be initialised (audio::Init). Any thread.
std::optional<Suggestion> SuggestPartOfFile(const std::string& path, double lengthSeconds = kDefaultPartSeconds);

}  // namespace analysis
