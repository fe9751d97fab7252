// The one failure type of the encoder: a message naming the cause (and, where the thrower knows
// it, the file). The program prints it and exits with status 1.
#pragma once

#include <stdexcept>
#include <string>

namespace encoder {

class EncodeError : public std::runtime_error {
 public:
  explicit EncodeError(const std::string& what) : std::runtime_error(what) {}
};

// FFmpeg's text for an error code.
std::string AvErrorText(int err);
// strerror for an errno value.
std::string ErrnoText(int err);

}  // namespace encoder
