#include "audio/avio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace audio::detail {

namespace {
constexpr int kBufferSize = 64 * 1024;
}

std::unique_ptr<FileWindowIO> FileWindowIO::Open(const std::string& path, uint64_t offset,
                                                 uint64_t length) {
  std::unique_ptr<FileWindowIO> io(new FileWindowIO());
  io->fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (io->fd_ < 0) return nullptr;
  struct stat st {};
  if (::fstat(io->fd_, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const auto file_size = static_cast<uint64_t>(st.st_size);
  if (offset > file_size) return nullptr;
  const uint64_t available = file_size - offset;
  io->begin_ = static_cast<int64_t>(offset);
  io->size_ = static_cast<int64_t>(length == 0 ? available : std::min(length, available));
  if (!io->MakeContext()) return nullptr;
  return io;
}

std::unique_ptr<FileWindowIO> FileWindowIO::OpenMemory(const uint8_t* data, size_t size) {
  std::unique_ptr<FileWindowIO> io(new FileWindowIO());
  io->memory_ = data;
  io->size_ = data == nullptr ? 0 : static_cast<int64_t>(size);
  if (!io->MakeContext()) return nullptr;
  return io;
}

bool FileWindowIO::MakeContext() {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (buffer == nullptr) return false;
  ctx_ = avio_alloc_context(buffer, kBufferSize, 0, this, &FileWindowIO::ReadPacket, nullptr,
                            &FileWindowIO::SeekTo);
  if (ctx_ == nullptr) {
    av_free(buffer);
    return false;
  }
  return true;
}

FileWindowIO::~FileWindowIO() {
  if (ctx_ != nullptr) {
    av_freep(&ctx_->buffer);  // FFmpeg may have replaced the buffer it was given
    avio_context_free(&ctx_);
  }
  if (fd_ >= 0) ::close(fd_);
}

int FileWindowIO::ReadPacket(void* opaque, uint8_t* buf, int buf_size) {
  auto* self = static_cast<FileWindowIO*>(opaque);
  const int64_t left = self->size_ - self->pos_;
  if (left <= 0) return AVERROR_EOF;
  const auto want = static_cast<size_t>(std::min<int64_t>(buf_size, left));
  if (self->memory_ != nullptr) {
    std::memcpy(buf, self->memory_ + self->pos_, want);
    self->pos_ += static_cast<int64_t>(want);
    return static_cast<int>(want);
  }
  ssize_t got;
  do {
    got = ::pread(self->fd_, buf, want, self->begin_ + self->pos_);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return AVERROR(EIO);
  if (got == 0) return AVERROR_EOF;  // the file shrank under us
  self->pos_ += got;
  return static_cast<int>(got);
}

int64_t FileWindowIO::SeekTo(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<FileWindowIO*>(opaque);
  int64_t target;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return self->size_;
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = self->pos_ + offset;
      break;
    case SEEK_END:
      target = self->size_ + offset;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (target < 0) return AVERROR(EINVAL);
  self->pos_ = target;  // past the end is allowed; reads there give EOF
  return target;
}

}  // namespace audio::detail
