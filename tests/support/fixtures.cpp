#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace twtest {

std::string FixtureDir() {
  if (const char* env = std::getenv("TW_FIXTURES"); env != nullptr && *env != '\0') return env;
  return TW_FIXTURES;
}

std::string Fixture(const std::string& name) {
  // An absolute path names a file a Debian package installed (scripts/setup.sh).
  std::string path = name.starts_with('/') ? name : FixtureDir() + "/" + name;
  if (!std::filesystem::exists(path)) ADD_FAILURE() << "missing fixture " << path;
  return path;
}

int64_t ManifestFrames(const std::string& name) {
  std::ifstream in(FixtureDir() + "/manifest.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream cols(line);
    std::string column, frames;
    if (!std::getline(cols, column, '\t') || column != name) continue;
    for (int i = 0; i < 4; ++i) std::getline(cols, frames, '\t');  // codec, rate, channels, frames
    char* end = nullptr;
    const long long n = std::strtoll(frames.c_str(), &end, 10);
    return end != frames.c_str() && *end == '\0' ? n : -1;
  }
  return -1;
}

std::vector<double> SidecarTimes(const std::string& song, const std::string& kind) {
  std::vector<double> out;
  std::ifstream in(Fixture(song + ".txt"));
  for (std::string line; std::getline(in, line);)
    if (line.rfind(kind + " ", 0) == 0) out.push_back(std::stod(line.substr(kind.size() + 1)));
  return out;
}

}  // namespace twtest
