#include "encoder/input_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "encoder/errors.h"

namespace encoder {

size_t FdInput::Read(void* buf, size_t n) {
  auto* p = static_cast<uint8_t*>(buf);
  size_t got = 0;
  // A pipe delivers what its writer has written so far: keep reading until n or the end.
  while (got < n) {
    const ssize_t r = ::read(fd_, p + got, n - got);
    if (r > 0) {
      got += static_cast<size_t>(r);
    } else if (r == 0) {
      break;
    } else if (errno != EINTR) {
      throw EncodeError(name_ + ": read error: " + ErrnoText(errno));
    }
  }
  return got;
}

FileInput::FileInput(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), fd_input_(fd_, path) {
  if (fd_ < 0) throw EncodeError(path + ": cannot open input: " + ErrnoText(errno));
}

FileInput::~FileInput() { ::close(fd_); }

size_t MemoryInput::Read(void* buf, size_t n) {
  const size_t k = std::min(n, data_.size() - pos_);
  if (k > 0) std::memcpy(buf, data_.data() + pos_, k);
  pos_ += k;
  return k;
}

}  // namespace encoder
