// The loudness meter beside the gain controls and its "Level" button.
//
// The window hands over, on its 33-ms timer, the part now marked with the effects now ticked; a
// worker measures it off the window's thread, and the next ticks show the reading. Level sets
// the gain that brings the part to -14 LUFS without its true peak passing -1 dBTP.
#pragma once

#include <QRect>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "analysis/loudness_worker.h"
#include "preview/preview_state.h"
#include "preview/render_effects.h"

class QLabel;
class QPushButton;
class QWidget;

namespace app {

// The part the selection marks in the preview stream of `path`, with the effects and the fades
// now set; nothing while no file is open or the selection is not complete.
std::optional<analysis::PartRequest> MarkedPart(const std::string& path, const preview::PreviewShared& shared,
                                                const preview::EffectControls& effects);

class LoudnessPanel {
 public:
  LoudnessPanel();
  LoudnessPanel(const LoudnessPanel&) = delete;
  LoudnessPanel& operator=(const LoudnessPanel&) = delete;

  // Makes the meter `loudlabel` and the button `btnlevel` on `parent`, owned by it.
  void CreateControls(QWidget* parent, QRect meter, QRect button);
  QLabel* loudlabel = nullptr;
  QPushButton* btnlevel = nullptr;

  // What Level does with the gain it found (the window ticks Gain and moves its slider).
  std::function<void(int32_t gainDb)> applyGain;

  // GUI thread, on the window's timer: asks for the part now marked (nothing: no part to
  // measure) and shows the latest reading.
  void Refresh(const std::optional<analysis::PartRequest>& part);
  // Ends the measurement; before the engine is released.
  void Stop() { worker_.Stop(); }

  // The reading now shown; nothing while there is none.
  const std::optional<analysis::PartLoudness>& shown() const { return shown_; }

 private:
  void btnlevelClick();

  analysis::LoudnessWorker worker_;
  uint64_t shownSerial_ = 0;
  bool shownMeasuring_ = false;
  std::optional<analysis::PartLoudness> shown_;  // GUI thread
};

}  // namespace app
