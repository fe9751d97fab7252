// A stand-in encoder for the engine's tests: records its arguments and its standard input, and
// leaves a file "eof" in TW_SINK_DIR when it has read its input to the end.
//
// Environment:
//   TW_SINK_DIR   folder for args.bin (the arguments after the program name, each followed by a
//                 NUL byte) and stdin.bin (everything read from standard input)
//   TW_SINK_MODE  "" or "all": read to the end, exit 0
//                 "code:N": read to the end, exit N
//                 "early:BYTES": read BYTES bytes, then exit 0 without reading more
//                 "echo": read to the end, copying the input to standard output too
//                 "hang": read to the end, then sleep for a minute
//                 "stall:BYTES": read BYTES bytes, write a piece of the "-o" file as a stuck
//                 encoder would, then sleep for ten minutes without reading or ending
//                 "stderr:TEXT": write TEXT to standard error, read to the end, exit 3
//                 any mode ending in ",partial": first write a few bytes to the file after "-o", as
//                 an encoder that fails half-way leaves its output
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const char* dir = std::getenv("TW_SINK_DIR");
  const std::string mode = std::getenv("TW_SINK_MODE") ? std::getenv("TW_SINK_MODE") : "";
  const std::string base = dir ? dir : ".";
  if (FILE* f = std::fopen((base + "/args.bin").c_str(), "wb")) {
    for (int i = 1; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, f);
    std::fclose(f);
  }
  if (mode.size() > 8 && mode.compare(mode.size() - 8, 8, ",partial") == 0) {
    for (int i = 1; i + 1 < argc; ++i) {
      if (std::strcmp(argv[i], "-o") != 0) continue;
      if (FILE* f = std::fopen(argv[i + 1], "wb")) {
        std::fputs("ftypM4A partial", f);
        std::fclose(f);
      }
    }
  }
  int code = 0;
  long limit = -1;
  if (mode.rfind("code:", 0) == 0) code = std::atoi(mode.c_str() + 5);
  if (mode.rfind("early:", 0) == 0) limit = std::atol(mode.c_str() + 6);
  if (mode.rfind("stall:", 0) == 0) limit = std::atol(mode.c_str() + 6);
  if (mode.rfind("stderr:", 0) == 0) {
    const std::string text = mode.substr(7);
    [[maybe_unused]] ssize_t w = write(2, text.data(), text.size());
    code = 3;
  }
  FILE* in = std::fopen((base + "/stdin.bin").c_str(), "wb");
  char buf[8192];
  long total = 0;
  while (limit < 0 || total < limit) {
    size_t want = sizeof buf;
    if (limit >= 0 && static_cast<long>(want) > limit - total) want = static_cast<size_t>(limit - total);
    const ssize_t n = read(0, buf, want);
    if (n == 0) {
      if (FILE* eof = std::fopen((base + "/eof").c_str(), "wb")) std::fclose(eof);
    }
    if (n <= 0) break;
    total += n;
    if (in) std::fwrite(buf, 1, static_cast<size_t>(n), in);
    if (mode == "echo") {
      [[maybe_unused]] ssize_t w = write(1, buf, static_cast<size_t>(n));
    }
  }
  if (in) std::fclose(in);
  if (mode == "hang") sleep(60);
  if (mode.rfind("stall:", 0) == 0) {
    for (int i = 1; i + 1 < argc; ++i) {
      if (std::strcmp(argv[i], "-o") != 0) continue;
      if (FILE* out = std::fopen(argv[i + 1], "wb")) {
        std::fputs("partial", out);
        std::fclose(out);
      }
    }
    sleep(600);
  }
  return code;
}
