// Byte sources the WAV reader pulls from: a file descriptor (standard input, a pipe, a file) or a
// block of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace encoder {

class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads up to n bytes; fewer only at the end of input. Returns 0 at the end. Throws EncodeError
  // on a read error.
  virtual size_t Read(void* buf, size_t n) = 0;
  // What to call this input in messages ("standard input" or the file name).
  virtual const std::string& Name() const = 0;
};

// Reads a file descriptor it does not own, retrying short reads and EINTR.
class FdInput final : public InputStream {
 public:
  FdInput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  size_t Read(void* buf, size_t n) override;
  const std::string& Name() const override { return name_; }

 private:
  int fd_;
  std::string name_;
};

// A file opened for reading and closed with the object.
class FileInput final : public InputStream {
 public:
  explicit FileInput(const std::string& path);  // throws EncodeError when it cannot be opened
  ~FileInput() override;
  FileInput(const FileInput&) = delete;
  FileInput& operator=(const FileInput&) = delete;
  size_t Read(void* buf, size_t n) override { return fd_input_.Read(buf, n); }
  const std::string& Name() const override { return fd_input_.Name(); }

 private:
  int fd_;
  FdInput fd_input_;
};

// Serves a copy of a byte vector.
class MemoryInput final : public InputStream {
 public:
  explicit MemoryInput(std::vector<uint8_t> data, std::string name = "memory")
      : data_(std::move(data)), name_(std::move(name)) {}
  size_t Read(void* buf, size_t n) override;
  const std::string& Name() const override { return name_; }

 private:
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
  std::string name_;
};

}  // namespace encoder
