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
#include <random>

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

// An unnamed file in `dir` (O_TMPFILE), or -1 where the file system or the kernel has none or
// /proc, through which it is given its name, is missing.
int OpenUnnamed(const std::string& dir) {
#if defined(__linux__) && defined(O_TMPFILE)
  if (::access("/proc/self/fd", X_OK) != 0) return -1;
  return ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
  (void)dir;
  return -1;
#endif
}

// Gives the unnamed file `fd` a fresh name of the pattern `tmpl` (ending in XXXXXX, replaced in
// place). False with errno set when it cannot.
bool LinkUnnamed(int fd, char* tmpl) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  const size_t len = std::strlen(tmpl);
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t r = (static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
    for (size_t i = len - 6; i < len; ++i, r /= 62) tmpl[i] = kChars[r % 62];
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, tmpl, AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
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

  own_ = ownProcess;
  if (own_) InstallSignalCleanup();
  pattern_ = tmpl;
  // A file without a name vanishes with the process however it ends, even by SIGKILL; it gets
  // its name only when complete. Where the file system has no such files, a named temporary,
  // which the signal handler removes.
  fd_ = OpenUnnamed(DirOf(target_));
  if (fd_ < 0) {
    fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd_ < 0) Fail("cannot create the output file", errno);
    NameTemp(tmpl);
  }

  auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferSize));
  if (buffer) {
    avio_ = avio_alloc_context(buffer, kAvioBufferSize, 1, this, nullptr,
                               &AvioWrite,
                               &OutputFile::Seek);
    if (!avio_) av_free(buffer);
  }
  if (!avio_) {
    ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    if (own_) g_armed = 0;
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
  if (own_) g_armed = 0;
}

void OutputFile::NameTemp(const std::string& path) {
  temp_ = path;
  if (!own_) return;
  g_armed = 0;
  std::memcpy(g_temp_path, path.c_str(), path.size() + 1);
  g_armed = 1;
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
  if (temp_.empty()) {
    // The unnamed file: named beside the target, and renamed over it at once.
    std::string name = pattern_;
    if (!LinkUnnamed(fd_, name.data())) Fail("cannot write the output file", errno);
    NameTemp(name);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("cannot write the output file", errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail("cannot replace the output file", errno);
  committed_ = true;
  if (own_) g_armed = 0;
}

void OutputFile::Fail(const std::string& what, int err) const {
  std::string msg = target_ + ": " + what;
  if (err != 0) msg += ": " + ErrnoText(err);
  throw EncodeError(msg);
}

}  // namespace encoder
