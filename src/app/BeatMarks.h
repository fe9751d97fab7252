// The marks and the song's beats in the window: a click snapped to the nearest beat while "Snap
// to beat" is ticked (exact with Shift), and the arrow keys on the focused view moving a mark by a
// beat (Shift: a bar; Alt: the end instead of the start).
#pragma once

#include <Qt>

#include "wave/selection.h"
#include "wave/song_map.h"

namespace app {

// Before a click on the view: whether it snaps, from the box and the keys held.
void ArmSnap(wave::Selection& selection, const wave::SongMap& map, bool snapTicked, Qt::KeyboardModifiers held);

// Left or Right on the view with `held`: the start (with Alt the end) a beat (with Shift a bar)
// back or on; 10 ms without a beat.
void NudgeMark(wave::Selection& selection, const wave::SongMap& map, int key, Qt::KeyboardModifiers held);

}  // namespace app
