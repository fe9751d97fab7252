// The channel calls of the engine's API: information, positions, syncs, DSPs and reading.
#include <cmath>

#include "audio/engine.h"
#include "audio/engine_state.h"
#include "audio/error.h"
#include "audio/playback.h"

namespace audio {

using namespace detail;

bool ChannelGetInfo(Handle h, ChannelInfo* info) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    if (info == nullptr) return Fail(ERROR_ILLPARAM, false);
    info->freq = c->format().rate;
    info->chans = c->format().chans;
    info->flags = c->flags();
    info->bits = c->format().isFloat ? 32 : 16;
    SetError(ERROR_OK);
    return true;
  });
}

int64_t ChannelGetLength(Handle h, uint32_t mode) {
  return Guard(int64_t{-1}, [&]() -> int64_t {
    auto c = FindChannel(h);
    if (!c) return -1;
    if (mode != POS_BYTE) return Fail(ERROR_ILLPARAM, int64_t{-1});
    const int64_t frames = c->lengthFrames();
    if (frames < 0) return Fail(ERROR_NOTAVAIL, int64_t{-1});
    SetError(ERROR_OK);
    return frames * c->format().BytesPerFrame();
  });
}

double ChannelBytes2Seconds(Handle h, int64_t pos) {
  return Guard(-1.0, [&] {
    auto c = FindChannel(h);
    if (!c) return -1.0;
    if (pos < 0) return Fail(ERROR_ILLPARAM, -1.0);
    SetError(ERROR_OK);
    return static_cast<double>(pos) /
           (static_cast<double>(c->format().rate) * c->format().BytesPerFrame());
  });
}

int64_t ChannelSeconds2Bytes(Handle h, double seconds) {
  return Guard(int64_t{-1}, [&]() -> int64_t {
    auto c = FindChannel(h);
    if (!c) return -1;
    if (!(seconds >= 0.0) || !std::isfinite(seconds)) return Fail(ERROR_ILLPARAM, int64_t{-1});
    // Whole frames, rounded down; a tiny tolerance keeps exact values exact (0.02 s at 44100 Hz
    // is 882 frames although 0.02 * 44100 is 881.9999… in binary floating point).
    const double frames = seconds * c->format().rate;
    const auto whole = static_cast<int64_t>(std::floor(frames + 1e-6));
    SetError(ERROR_OK);
    return whole * c->format().BytesPerFrame();
  });
}

uint32_t ChannelIsActive(Handle h) {
  return Guard(ACTIVE_STOPPED, [&] {
    auto c = FindChannel(h);
    if (!c) return ACTIVE_STOPPED;
    SetError(ERROR_OK);
    if (!c->isDecode()) return PlaybackActivity(*c);
    return c->ended() ? ACTIVE_STOPPED : ACTIVE_PLAYING;
  });
}

bool ChannelSetPosition(Handle h, int64_t pos, uint32_t mode) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    if (mode != POS_BYTE) return Fail(ERROR_ILLPARAM, false);
    if (pos < 0) return Fail(ERROR_POSITION, false);
    const int64_t frame = pos / c->format().BytesPerFrame();
    return c->isDecode() ? c->Seek(frame) : PlaybackSeek(*c, frame);
  });
}

int64_t ChannelGetPosition(Handle h, uint32_t mode) {
  return Guard(int64_t{-1}, [&]() -> int64_t {
    auto c = FindChannel(h);
    if (!c) return -1;
    if (mode != POS_BYTE) return Fail(ERROR_ILLPARAM, int64_t{-1});
    const int64_t frames = c->isDecode() ? c->positionFrames() : HeardPositionFrames(*c);
    SetError(ERROR_OK);
    return frames * c->format().BytesPerFrame();
  });
}

SyncHandle ChannelSetSync(Handle h, uint32_t type, int64_t param, SyncProc* proc, void* user) {
  return Guard(SyncHandle{0}, [&]() -> SyncHandle {
    auto c = FindChannel(h);
    if (!c) return 0;
    return c->AddSync(type, param, proc, user);
  });
}

bool ChannelRemoveSync(Handle h, SyncHandle sync) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    if (!c->RemoveSync(sync)) return false;
    // Once this returns, the sync's procedure neither starts nor runs (its user data may go).
    if (!c->isDecode()) AwaitHeardSyncs(h);
    return true;
  });
}

DspHandle ChannelSetDSP(Handle h, DspProc* proc, void* user, int priority) {
  return Guard(DspHandle{0}, [&]() -> DspHandle {
    auto c = FindChannel(h);
    if (!c) return 0;
    return c->AddDsp(proc, user, priority);
  });
}

bool ChannelRemoveDSP(Handle h, DspHandle dsp) {
  return Guard(false, [&] {
    auto c = FindChannel(h);
    if (!c) return false;
    return c->RemoveDsp(dsp);
  });
}

uint32_t ChannelGetLevel(Handle h) {
  return Guard(DATA_ERROR, [&] {
    auto c = FindChannel(h);
    if (!c) return DATA_ERROR;
    if (!c->isDecode()) return Fail(ERROR_DECODE, DATA_ERROR);
    return c->Level();
  });
}

uint32_t ChannelGetData(Handle h, void* buffer, uint32_t length) {
  return Guard(DATA_ERROR, [&] {
    auto c = FindChannel(h);
    if (!c) return DATA_ERROR;
    if (!c->isDecode()) return Fail(ERROR_DECODE, DATA_ERROR);
    if (buffer == nullptr) return Fail(ERROR_ILLPARAM, DATA_ERROR);
    return c->Read(buffer, length);
  });
}

bool StreamFree(Handle h) {
  return Guard(false, [&] {
    if (!State().initialized.load(std::memory_order_acquire)) return Fail(ERROR_INIT, false);
    auto channel = State().channels.Take(h);
    if (!channel) return Fail(ERROR_HANDLE, false);
    channel->Close();
    if (!channel->isDecode()) AwaitHeardSyncs(h);
    SetError(ERROR_OK);
    return true;
  });
}

}  // namespace audio
