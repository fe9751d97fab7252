// Program-wide state kept beside the main window: one instance each, zero at load.
//
// The audio engine's callbacks read these on its own threads, so each is atomic and is read and
// written whole (a 64-bit position never in halves).
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/engine.h"

// The preview stream of the opened file; 0 = none. Written on the GUI thread (opening a file,
// choosing another one); read by the preview's effect and sync callbacks.
inline std::atomic<audio::Handle> playStream{0};

// The selection as byte positions in playStream; 0 counts as not set. Written on the GUI thread
// only; read there and by the loop trigger on the engine's playback thread.
inline std::atomic<int64_t> selStart{0};
inline std::atomic<int64_t> selEnd{0};

// Format of the samples the effects process. Written on the GUI thread (opening a file, a
// conversion); read by the effect callbacks.
inline std::atomic<int32_t> streamRate{0};
inline std::atomic<int32_t> streamChannels{0};
inline std::atomic<int32_t> streamBits{0};
