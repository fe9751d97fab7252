// The raw frame producer behind a channel: a file decoder or a mixer's sources.
#pragma once

#include <cstddef>
#include <cstdint>

namespace audio::detail {

// Produces interleaved frames in the owning channel's format. Called with the channel's lock
// held, from one thread at a time.
class Source {
 public:
  virtual ~Source() = default;
  // Writes up to `frames` frames to `out`; returns the count, 0 only once no data is left.
  virtual size_t Read(void* out, size_t frames) = 0;
  // True when no frame is left to read (may decode ahead to find out). Never blocks for long.
  virtual bool AtEnd() = 0;
  // Moves to `frame` so that the next Read yields what a straight decode yields from there.
  // False when the position is outside 0..length (an exact length) or cannot be reached; the
  // position is then kept. An estimated length does not limit a seek: the source finds out.
  virtual bool Seek(int64_t frame) = 0;
  // The number of frames, exact for a prescanned file; -1 when unknown.
  virtual int64_t LengthFrames() const = 0;
  // True when LengthFrames is only the container's estimate (a file opened without a prescan):
  // the file may end before it or run on after it.
  virtual bool LengthIsEstimate() const { return false; }
};

}  // namespace audio::detail
