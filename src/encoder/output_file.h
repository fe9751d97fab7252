// The output file, written as an unnamed file in the target's folder (a named temporary where the
// file system has none) that is named and renamed over the target only when complete: a failed,
// interrupted or killed run leaves neither a partial file nor a changed target.
#pragma once

#include <string>

extern "C" {
#include <libavformat/avio.h>
#include <libavformat/version.h>
}

namespace encoder {

class OutputFile {
 public:
  // Creates the temporary file in the target's folder. Throws EncodeError naming the target when
  // the folder is missing or not writable. `ownProcess`: the encoder program's own file, whose
  // temporary a terminating signal removes and which ends with the program that feeds it (signal
  // handlers and the parent-death signal are installed); a program writing a file among other
  // work passes false and removes it itself (the destructor does).
  explicit OutputFile(std::string target, bool ownProcess = true);
  // Removes the temporary file unless Commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // A seekable FFmpeg I/O context writing the temporary file.
  AVIOContext* avio() { return avio_; }
  // Flushes the I/O context and throws EncodeError when any write failed.
  void FlushAvio();
  // The temporary file's descriptor, for edits after the muxer has finished.
  int fd() const { return fd_; }
  const std::string& target() const { return target_; }
  // The named temporary: empty while the file is unnamed.
  const std::string& temp_path() const { return temp_; }

  // Makes the file durable, gives it the target's permissions (or the usual ones for a new file)
  // and renames it over the target. Throws EncodeError on failure (the temporary file is then
  // removed by the destructor).
  void Commit();

 private:
  static int WritePacket(void* opaque, const uint8_t* buf, int size);
#if LIBAVFORMAT_VERSION_MAJOR >= 61
  static int AvioWrite(void* opaque, const uint8_t* buf, int size);
#else
  static int AvioWrite(void* opaque, uint8_t* buf, int size);
#endif
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  [[noreturn]] void Fail(const std::string& what, int err) const;
  // The temporary has the name `path` from now on (the signal handler removes it in own mode).
  void NameTemp(const std::string& path);

  std::string target_;
  std::string pattern_;  // the temporary's name, ending in XXXXXX
  std::string temp_;
  bool own_ = false;
  int fd_ = -1;
  AVIOContext* avio_ = nullptr;
  int write_errno_ = 0;
  bool committed_ = false;
};

}  // namespace encoder
