// ffmpeg's own BS.1770 meter (its ebur128 filter with true peak) on a file, as an independent
// reading of what the program measures or writes.
#pragma once

#include <string>

namespace twtest {

struct FfmpegLoudness {
  bool ok = false;           // the summary was found and read
  double integrated = 0;     // LUFS (ffmpeg shows -70.0 for silence)
  double truePeak = 0;       // dBTP; -inf for digital silence
};

// The seconds [start, start + length) of `path`, read after ffmpeg's accurate seek, resampled to
// 44100 Hz stereo first (as a ringtone is); length <= 0 reads to the end.
FfmpegLoudness FfmpegEbur128(const std::string& path, double start = 0, double length = 0);

}  // namespace twtest
