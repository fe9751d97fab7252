#include "preview/triggers.h"

namespace preview {

void Triggers::LoopSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user) {
  auto& self = *static_cast<Triggers*>(user);
  const int64_t start = self.shared_.selStart.load();
  if (self.shared_.controls.loop.load() && start != 0 &&
      audio::ChannelSetPosition(channel, start, audio::POS_BYTE)) {
    self.effects_.StartFade(channel, true);
    self.jumped_.store(true);
  }
}

void Triggers::FadeInSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user) {
  auto& self = *static_cast<Triggers*>(user);
  // Restarted here, the jump's fade-in would step back down to silence 0.01 s into the pass.
  if (self.jumped_.exchange(false) && self.effects_.fadeInRunning()) return;
  self.effects_.StartFade(channel, true);
}

void Triggers::FadeOutSyncProc(audio::SyncHandle, audio::Handle channel, uint32_t, void* user) {
  static_cast<Triggers*>(user)->effects_.StartFade(channel, false);
}

}  // namespace preview
