// Where the generated audio fixtures live (scripts/make_fixtures.sh writes them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace twtest {

// The fixture folder: $TW_FIXTURES when set, else the build tree's folder.
std::string FixtureDir();
// The full path of one fixture; fails the calling test (ADD_FAILURE) when the file is missing.
std::string Fixture(const std::string& name);
// The frame count the fixture script recorded for a fixture in its manifest (ffmpeg's decode for
// the files whose header misleads ffprobe); -1 when it has none.
int64_t ManifestFrames(const std::string& name);
// The times (seconds) of the lines "<kind> <seconds>" of a MIDI song's sidecar, <song>.txt
// ("beat", "bar", "chorus"), in file order.
std::vector<double> SidecarTimes(const std::string& song, const std::string& kind);

}  // namespace twtest
