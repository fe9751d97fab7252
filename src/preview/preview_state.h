// What the engine's thread reads of the window and of the selection, mirrored into atomics.
//
// The window writes each field on its own thread whenever the control or the value changes; the
// effect and sync procedures read them on the engine's playback thread. Each field is one whole
// atomic value: a trigger reads the values current at the moment it fires.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/engine.h"

namespace preview {

// The fade and loop controls of the window.
struct ControlMirror {
  std::atomic<bool> loop{false};         // loopcheck
  std::atomic<bool> fadeIn{true};        // fadeincheck
  std::atomic<int32_t> fadeInSeconds{5};   // spinfadein
  std::atomic<bool> fadeOut{false};      // fadeoutcheck
  std::atomic<int32_t> fadeOutSeconds{5};  // spinfadeout
};

// The format of the samples the preview's effects process: streamRate, streamChannels,
// streamBits. Set when a file is opened, before its stream plays.
struct StreamFormat {
  std::atomic<int32_t> rate{44100};
  std::atomic<int32_t> channels{2};
  std::atomic<int32_t> bits{16};
};

// The program-wide preview state: the preview stream and the selection (byte positions in it;
// 0 counts as not set).
struct PreviewShared {
  std::atomic<audio::Handle> playStream{0};
  std::atomic<int64_t> selStart{0};
  std::atomic<int64_t> selEnd{0};
  ControlMirror controls;
  StreamFormat format;
};

}  // namespace preview
