#include "source/openers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace source {

std::string LowerExtension(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

Opener SourceOpener(std::string_view ext) {
  if (ext == ".wma") return audio::WMA_StreamCreateFile;
  if (ext == ".ape") return audio::APE_StreamCreateFile;
  if (ext == ".aac") return audio::AAC_StreamCreateFile;
  if (ext == ".mp4" || ext == ".m4a" || ext == ".m4b" || ext == ".m4r") return audio::MP4_StreamCreateFile;
  if (ext == ".alac") return audio::ALAC_StreamCreateFile;
  if (ext == ".mpc" || ext == ".mpp" || ext == ".mp+") return audio::MPC_StreamCreateFile;
  if (ext == ".flac" || ext == ".fla") return audio::FLAC_StreamCreateFile;
  return audio::StreamCreateFile;
}

Opener RenderOpener(std::string_view ext) {
  if (ext == ".ac3") return audio::AC3_StreamCreateFile;
  return SourceOpener(ext);
}

namespace {

audio::Handle OpenWith(Opener opener, const std::string& path, uint32_t flags) {
  const audio::Handle stream = opener(path.c_str(), 0, 0, flags);
  if (stream != 0 || opener == audio::StreamCreateFile) return stream;
  return audio::StreamCreateFile(path.c_str(), 0, 0, flags);
}

}  // namespace

audio::Handle OpenSourceStream(const std::string& path, uint32_t flags) {
  return OpenWith(SourceOpener(LowerExtension(path)), path, flags);
}

audio::Handle OpenRenderStream(const std::string& path, uint32_t flags) {
  return OpenWith(RenderOpener(LowerExtension(path)), path, flags);
}

std::string WhyNotOpened(const std::string& path) {
  const audio::Handle h = OpenSourceStream(path, kScanFlags);
  if (h == 0) return OpenFailureReason(path, audio::ErrorGetCode());
  audio::StreamFree(h);
  return {};
}

std::string OpenFailureReason(const std::string& path, int engineError) {
  // The file system first: whatever the engine said, a file that cannot be read says so.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  ::close(fd);
  if (known && S_ISDIR(st.st_mode)) return "is a folder";
  if (known && S_ISREG(st.st_mode) && st.st_size == 0) return "is empty";
  switch (engineError) {
    case audio::ERROR_NOTAUDIO: return "has no sound";
    case audio::ERROR_DAMAGED: return "is damaged";
    case audio::ERROR_MEM: return "needs more memory than there is";
    default: return "is not a sound or video file Tonewright can read";
  }
}

}  // namespace source

