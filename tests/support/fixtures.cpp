#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace twtest {

std::string FixtureDir() {
  if (const char* env = std::getenv("TW_FIXTURES"); env != nullptr && *env != '\0') return env;
  return TW_FIXTURES;
}

std::string Fixture(const std::string& name) {
  std::string path = FixtureDir() + "/" + name;
  if (!std::filesystem::exists(path)) ADD_FAILURE() << "missing fixture " << path;
  return path;
}

}  // namespace twtest
