// Program-wide state kept beside the main window: one instance each, zero at load.
//
// The audio engine's callbacks read these on its own threads, so each is atomic and is read and
// written whole (a 64-bit position never in halves). They live in one PreviewShared, which the
// preview's effects, triggers and the selection are given.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/engine.h"
#include "preview/preview_state.h"

inline preview::PreviewShared previewShared;

// The preview stream of the opened file; 0 = none. Written on the GUI thread.
inline std::atomic<audio::Handle>& playStream = previewShared.playStream;

// The selection as byte positions in playStream; 0 counts as not set. Written on the GUI thread
// only; read there and by the loop trigger on the engine's playback thread.
inline std::atomic<int64_t>& selStart = previewShared.selStart;
inline std::atomic<int64_t>& selEnd = previewShared.selEnd;

// Format of the samples the preview's effects process. Written when a file is opened.
inline std::atomic<int32_t>& streamRate = previewShared.format.rate;
inline std::atomic<int32_t>& streamChannels = previewShared.format.channels;
inline std::atomic<int32_t>& streamBits = previewShared.format.bits;
