// Opening file streams.
#include "audio/decoder.h"
#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/error.h"

namespace audio {

using namespace detail;

namespace {

constexpr uint32_t kStreamFlags = SAMPLE_FLOAT | STREAM_PRESCAN | STREAM_AUTOFREE | STREAM_DECODE;

Handle CreateFileStream(Family family, const char* path, uint64_t offset, uint64_t length,
                        uint32_t flags) {
  return Guard(Handle{0}, [&]() -> Handle {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, Handle{0});
    if (path == nullptr || *path == '\0') return Fail(ERROR_FILEOPEN, Handle{0});
    if ((flags & ~kStreamFlags) != 0) return Fail(ERROR_ILLPARAM, Handle{0});
    DecoderOptions options;
    options.family = family;
    options.kind = (flags & SAMPLE_FLOAT) ? SampleKind::F32 : SampleKind::S16;
    options.prescan = (flags & STREAM_PRESCAN) != 0;
    options.offset = offset;
    options.length = length;
    int error = ERROR_UNKNOWN;
    auto decoder = FileDecoder::Open(path, options, &error);
    if (!decoder) return Fail(error == ERROR_OK ? ERROR_FILEFORM : error, Handle{0});
    Format format;
    format.rate = decoder->Rate();
    format.chans = decoder->Channels();
    format.isFloat = (flags & SAMPLE_FLOAT) != 0;
    const Handle h = AddChannel(format, flags, std::move(decoder));
    SetError(ERROR_OK);
    return h;
  });
}

}  // namespace

Handle StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::Any, path, offset, length, flags);
}
Handle WMA_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::WMA, path, offset, length, flags);
}
Handle APE_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::APE, path, offset, length, flags);
}
Handle AC3_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::AC3, path, offset, length, flags);
}
Handle ALAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::ALAC, path, offset, length, flags);
}
Handle AAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::AAC, path, offset, length, flags);
}
Handle MP4_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::MP4, path, offset, length, flags);
}
Handle MPC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::MPC, path, offset, length, flags);
}
Handle FLAC_StreamCreateFile(const char* path, uint64_t offset, uint64_t length, uint32_t flags) {
  return CreateFileStream(Family::FLAC, path, offset, length, flags);
}

}  // namespace audio
