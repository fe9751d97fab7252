// Setting the whole selection at once to a part given in seconds (the suggested part), through
// the selection's own setters, so that the controls and triggers follow as for the mouse.
#pragma once

#include "audio/engine.h"
#include "wave/selection.h"

namespace wave {

// Both bounds on `stream` (the preview stream): the start in whole frames, at least one frame in
// (a start of 0 would count as not set), the end at most the stream's length. Whatever the old
// bounds were, none is swapped in between. GUI thread.
void SelectPart(Selection& selection, audio::Handle stream, double startSeconds, double endSeconds);

}  // namespace wave
