// The preview's transport: Play, Pause and Stop on the preview stream.
#pragma once

#include "preview/preview_effects.h"
#include "preview/preview_state.h"

namespace preview {

class Transport {
 public:
  Transport(PreviewShared& shared, PreviewEffects& effects) : shared_(shared), effects_(effects) {}

  enum class PlayResult { OfferDialog, NoStream, Playing };
  // Play: with an empty input box the caller offers the file dialog; with no stream nothing
  // happens; a stopped stream starts with a fade-in; a paused one resumes without one.
  PlayResult btnplayClick(bool inputBoxEmpty);
  void btnpauseClick();
  // Stops and rewinds to the start of the file; true when there was a stream (the caller then
  // resets the played colouring).
  bool btnstopClick();

 private:
  PreviewShared& shared_;
  PreviewEffects& effects_;
};

}  // namespace preview
