// The length of a file in frames: exact (a pass of its own over the file) or estimated.
#pragma once

#include <cstdint>

#include "audio/decoder_input.h"
#include "audio/file_families.h"

namespace audio::detail {

// The number of frames a straight decode of the opened `main` input yields, with the recorded
// encoder delay and padding trimmed; found by the file's LengthRule with a demuxer of its own
// (reading every page of some containers spoils later seeks in the one that did). -1 if unknown.
// `first_pts`: the timestamp, in frames, of the first frame a straight decode yields
// (AV_NOPTS_VALUE when it has none); a container's duration counts from there.
// A demuxer whose traits say it rewinds may be left anywhere: the caller rewinds it.
int64_t PrescanLength(const InputRequest& request, const DemuxInput& main, const FileTraits& traits,
                      int rate, int channels, int64_t first_pts);

// A cheap length from the container's header; -1 when it gives none.
int64_t EstimateLength(const DemuxInput& main, const FileTraits& traits, int rate, int64_t first_pts);

}  // namespace audio::detail
