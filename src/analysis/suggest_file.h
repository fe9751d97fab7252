// The suggested part of a file, for the command line: the file opened as the scan opens it,
// decoded once into the feature gatherer, the part chosen.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/chorus.h"

namespace analysis {

// The suggestion for `path` with a part of `lengthSeconds`; nothing when the file cannot be
// opened or decodes to nothing. The engine must be initialised (audio::Init). Any thread.
std::optional<Suggestion> SuggestPartOfFile(const std::string& path, double lengthSeconds = kDefaultPartSeconds);

// Up to `count` distinct parts of `path`, best first (SuggestParts); nothing when the file cannot
// be opened or decodes to nothing.
std::optional<std::vector<Suggestion>> SuggestPartsOfFile(const std::string& path, double lengthSeconds, size_t count);

// The features of the whole of `path`, decoded once as the scan decodes it.
std::optional<Features> FeaturesOfFile(const std::string& path);

}  // namespace analysis
