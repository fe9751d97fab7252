#include "app/LoudnessPanel.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "analysis/level_rule.h"
#include "analysis/loudness_part.h"
#include "analysis/loudness_text.h"

namespace app {

std::optional<analysis::PartRequest> MarkedPart(const std::string& path, const preview::PreviewShared& shared,
                                                const preview::EffectControls& effects) {
  const audio::Handle stream = shared.playStream.load();
  const int64_t start = shared.selStart.load(), end = shared.selEnd.load();
  if (path.empty() || stream == 0 || start == 0 || end <= start) return std::nullopt;
  analysis::PartRequest part;
  part.inputPath = path;
  part.startSeconds = audio::ChannelBytes2Seconds(stream, start);
  part.endSeconds = audio::ChannelBytes2Seconds(stream, end);
  part.effects = effects;
  const preview::ControlMirror& c = shared.controls;
  part.fadeIn = c.fadeIn.load();
  part.fadeInSeconds = c.fadeInSeconds.load();
  part.fadeOut = c.fadeOut.load();
  part.fadeOutSeconds = c.fadeOutSeconds.load();
  return part;
}

LoudnessPanel::LoudnessPanel() : worker_(analysis::MeasurePart) {}

void LoudnessPanel::CreateControls(QWidget* parent, QRect meter, QRect button) {
  loudlabel = new QLabel(parent);
  loudlabel->setObjectName(QStringLiteral("loudlabel"));
  loudlabel->setGeometry(meter);
  loudlabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // A little smaller than the labels around it; the window's fonts are sized in pixels.
  QFont small = loudlabel->font();
  if (small.pixelSize() > 0) small.setPixelSize(std::max(1, small.pixelSize() * 85 / 100));
  else small.setPointSizeF(small.pointSizeF() * 0.85);
  loudlabel->setFont(small);
  loudlabel->setToolTip(QString::fromUtf8(
      "The marked part's loudness (LUFS) and true peak (dBTP), as the ringtone will have them.\n"
      "The loudness needs at least 0.4 s of sound; a shorter or near-silent part shows \u2014 LUFS.\n"
      "In red: a peak over \u22121 dBTP, or \u201cclips\u201d when the gain drives the part past full scale."));
  btnlevel = new QPushButton(parent);
  btnlevel->setObjectName(QStringLiteral("btnlevel"));
  btnlevel->setGeometry(button);
  btnlevel->setText(QStringLiteral("Level"));
  btnlevel->setToolTip(QString::fromUtf8(
      "Level: ticks Gain and sets it to the whole dB that raises a quiet part towards \u221214 LUFS "
      "as far as a true peak of \u22121 dBTP allows (room is kept for what the AAC encoding adds to "
      "the peaks). A part already louder keeps its level, unless its peak passes the ceiling: then "
      "it is lowered just enough."));
  btnlevel->setEnabled(false);
  QObject::connect(btnlevel, &QPushButton::clicked, btnlevel, [this] { btnlevelClick(); });
}

void LoudnessPanel::Refresh(const std::optional<analysis::PartRequest>& part) {
  if (part) worker_.Request(*part);
  else worker_.Clear();
  const analysis::LoudnessWorker::Reading reading = worker_.Latest();
  if (reading.serial == shownSerial_ && reading.measuring == shownMeasuring_) return;
  shownSerial_ = reading.serial;
  shownMeasuring_ = reading.measuring;
  if (!reading.measuring) shown_ = reading.loudness;
  if (loudlabel == nullptr) return;
  // While a new reading is made the last one stays, greyed.
  loudlabel->setText(shown_ ? QString::fromStdString(analysis::MeterText(shown_->shown, shown_->clips)) : QString());
  // A peak the ringtone should not have, or a gain that clips, in the warning colour.
  const bool warn = shown_ && analysis::MeterWarns(shown_->shown, shown_->clips);
  loudlabel->setStyleSheet(warn ? QStringLiteral("color: #c00000;") : QString());
  loudlabel->setEnabled(!reading.measuring);
  btnlevel->setEnabled(!reading.measuring && shown_ && std::isfinite(shown_->bare.integrated));
}

void LoudnessPanel::btnlevelClick() {
  if (!shown_ || shownMeasuring_ || !applyGain) return;
  applyGain(analysis::LevelGain(shown_->bare));
}

}  // namespace app
