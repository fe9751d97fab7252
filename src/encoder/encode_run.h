// One encoding run: WAV in, AAC file out, as the parsed command line asks.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

#include "encoder/options.h"

namespace encoder {

// Reads the WAV input, encodes it and renames the finished file over the output. Warnings go to
// `warn`. Throws EncodeError on failure; no output file is left then.
void Encode(const Options& options, std::FILE* warn);

// The whole program: parses args (without the program name), prints help or version on `out`,
// or encodes; messages go to `err`. Returns the exit status: 0 done, 1 failed, 2 bad usage.
int RunProgram(std::span<const std::string_view> args, std::FILE* out, std::FILE* err);

}  // namespace encoder
