// faac: a faac-compatible AAC encoder built on libavcodec, part of Ombrix Tonewright.
#include <cstdio>
#include <string_view>
#include <vector>

#include "encoder/encode_run.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  const int status = encoder::RunProgram(args, stdout, stderr);
  std::fflush(stdout);
  return status;
}
