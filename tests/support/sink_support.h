// Running the stand-in encoder program (tools/wav_sink.cpp) from the tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace twtest {

// A fresh folder under /tmp that the sink writes to (TW_SINK_DIR), removed at the end.
class SinkDir {
 public:
  explicit SinkDir(const std::string& mode = "") {
    char tmpl[] = "/tmp/tw_sink_XXXXXX";
    path_ = mkdtemp(tmpl);
    setenv("TW_SINK_DIR", path_.c_str(), 1);
    setenv("TW_SINK_MODE", mode.c_str(), 1);
  }
  ~SinkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::vector<uint8_t> Stdin() const { return ReadAll(path_ + "/stdin.bin"); }
  std::vector<std::string> Args() const {
    const auto raw = ReadAll(path_ + "/args.bin");
    std::vector<std::string> args;
    std::string cur;
    for (uint8_t b : raw) {
      if (b == 0) {
        args.push_back(cur);
        cur.clear();
      } else {
        cur.push_back(static_cast<char>(b));
      }
    }
    return args;
  }
  static std::vector<uint8_t> ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

}  // namespace twtest
