#include "encoder/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "encoder/errors.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace encoder {
namespace {

constexpr int kAvioBufferSize = 1 << 16;
constexpr size_t kMaxTempBase = 200;  // keeps ".<base>.XXXXXX" under the usual 255-byte limit

// A terminating signal (the conversion being cancelled, Ctrl-C) removes the temporary file
// before the program dies. The handler only reads this buffer once `g_armed` is set.
char g_temp_path[4096];
volatile std::sig_atomic_t g_armed = 0;

extern "C" void RemoveTempAndDie(int sig) {
  if (g_armed) ::unlink(g_temp_path);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// The program that started this one, as it was at start-up.
const pid_t g_parent = ::getppid();

void InstallSignalCleanup() {
  // Past a file size limit, writes fail with EFBIG and are reported like any write error,
  // instead of the signal killing the program with its temporary file in place.
  std::signal(SIGXFSZ, SIG_IGN);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction sa {};
    sa.sa_handler = RemoveTempAndDie;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
#ifdef __linux__
  // A feeder that dies (killed outright) closes the input as a finished one would: what came is
  // not the whole input, and must not replace the target. Its death ends this program instead.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != g_parent) std::raise(SIGTERM);
#endif
}

std::string DirOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// FFmpeg 6.1 made the buffer of the write callback const; both forms forward to WritePacket.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
int OutputFile::AvioWrite(void* opaque, const uint8_t* buf, int size) {
  return WritePacket(opaque, buf, size);
}
#else
int OutputFile::AvioWrite(void* opaque, uint8_t* buf, int size) {
  return WritePacket(opaque, buf, size);
}
#endif

OutputFile::OutputFile(std::string target, bool ownProcess) : target_(std::move(target)) {
  std::string base = BaseOf(target_);
  if (base.empty()) Fail("the output name is a folder", EISDIR);
  base.resize(std::min(base.size(), kMaxTempBase));
  std::string tmpl = DirOf(target_) + "/." + base + ".XXXXXX";
  if (tmpl.size() >= sizeof g_temp_path) Fail("cannot create the output file", ENAMETOOLONG);

  if (ownProcess) InstallSignalCleanup();
  g_armed = 0;
  std::memcpy(g_temp_path, tmpl.c_str(), tmpl.size() + 1);
  fd_ = ::mkostemp(g_temp_path, O_CLOEXEC);
  if (fd_ < 0) Fail("cannot create the output file", errno);
  g_armed = 1;
  temp_ = g_temp_path;

  auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferSize));
  if (buffer) {
    avio_ = avio_alloc_context(buffer, kAvioBufferSize, 1, this, nullptr,
                               &AvioWrite,
                               &OutputFile::Seek);
    if (!avio_) av_free(buffer);
  }
  if (!avio_) {
    ::close(fd_);
    ::unlink(temp_.c_str());
    g_armed = 0;
    Fail("cannot create the output file", ENOMEM);
  }
}

OutputFile::~OutputFile() {
  if (avio_) {
    av_freep(&avio_->buffer);
    avio_context_free(&avio_);
  }
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
  g_armed = 0;
}

int OutputFile::WritePacket(void* opaque, const uint8_t* buf, int size) {
  auto* self = static_cast<OutputFile*>(opaque);
  int done = 0;
  while (done < size) {
    const ssize_t w = ::write(self->fd_, buf + done, static_cast<size_t>(size - done));
    if (w < 0) {
      if (errno == EINTR) continue;
      self->write_errno_ = errno;
      return AVERROR(errno);
    }
    done += static_cast<int>(w);
  }
  return size;
}

int64_t OutputFile::Seek(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<OutputFile*>(opaque);
  if (whence == AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(self->fd_, &st) == 0 ? st.st_size : AVERROR(errno);
  }
  const off_t r = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
  return r < 0 ? AVERROR(errno) : r;
}

void OutputFile::FlushAvio() {
  avio_flush(avio_);
  if (write_errno_ != 0) Fail("cannot write the output file", write_errno_);
  if (avio_->error < 0) Fail("cannot write the output file: " + AvErrorText(avio_->error), 0);
}

void OutputFile::Commit() {
  FlushAvio();
  // Permissions: those of the file being replaced, else what a new file gets under the umask.
  mode_t mode = 0;
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd_, mode) != 0) Fail("cannot set the output file's permissions", errno);
  if (::fsync(fd_) != 0) Fail("cannot write the output file", errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("cannot write the output file", errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail("cannot replace the output file", errno);
  committed_ = true;
  g_armed = 0;
}

void OutputFile::Fail(const std::string& what, int err) const {
  std::string msg = target_ + ": " + what;
  if (err != 0) msg += ": " + ErrnoText(err);
  throw EncodeError(msg);
}

}  // namespace encoder
