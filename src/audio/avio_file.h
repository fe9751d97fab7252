// Reads a window (offset, length) of a file, or a block of memory, through FFmpeg's I/O layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace audio::detail {

// A file opened for reading, seen by FFmpeg as if it held only bytes offset..offset+length.
// Owns its AVIOContext; must outlive the AVFormatContext that reads through it.
class FileWindowIO {
 public:
  // nullptr when the file cannot be opened or the window lies outside it. length 0: to the end.
  static std::unique_ptr<FileWindowIO> Open(const std::string& path, uint64_t offset, uint64_t length);
  // The same over `size` bytes at `data`, which must outlive the object (fuzzing, tests).
  static std::unique_ptr<FileWindowIO> OpenMemory(const uint8_t* data, size_t size);
  ~FileWindowIO();
  FileWindowIO(const FileWindowIO&) = delete;
  FileWindowIO& operator=(const FileWindowIO&) = delete;

  AVIOContext* Context() const { return ctx_; }
  int64_t Size() const { return size_; }

 private:
  FileWindowIO() = default;
  static int ReadPacket(void* opaque, uint8_t* buf, int buf_size);
  static int64_t SeekTo(void* opaque, int64_t offset, int whence);
  bool MakeContext();

  int fd_ = -1;
  const uint8_t* memory_ = nullptr;  // read instead of fd_ when set
  int64_t begin_ = 0;  // file offset of the window's first byte
  int64_t size_ = 0;   // bytes in the window
  int64_t pos_ = 0;    // read position inside the window
  AVIOContext* ctx_ = nullptr;
};

}  // namespace audio::detail
