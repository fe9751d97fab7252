#include "app/BeatMarks.h"

namespace app {

void ArmSnap(wave::Selection& selection, const wave::SongMap& map, bool snapTicked, Qt::KeyboardModifiers held) {
  if (snapTicked && map.HasBeat() && !held.testFlag(Qt::ShiftModifier))
    selection.SetSnap([map](double t) { return wave::SnapToBeat(map, t); });
  else
    selection.SetSnap(nullptr);
}

void NudgeMark(wave::Selection& selection, const wave::SongMap& map, int key, Qt::KeyboardModifiers held) {
  const int steps = key == Qt::Key_Left ? -1 : 1;
  const bool byBar = held.testFlag(Qt::ShiftModifier);
  selection.MoveMark(!held.testFlag(Qt::AltModifier), [&map, steps, byBar](double t) { return wave::Nudge(map, t, steps, byBar); });
}

}  // namespace app
