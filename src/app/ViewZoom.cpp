#include "app/ViewZoom.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "app/PaintBox.h"
#include "app/ProgramState.h"
#include "wave/song_map.h"

namespace app {

namespace {
constexpr double kNotchFactor = 1.5;  // a wheel notch's zoom
constexpr double kKeyFactor = 2.0;    // Ctrl++ and Ctrl+-
constexpr int kNotchColumns = 40;     // a Shift+wheel notch's pan
constexpr int kNotch = 120;           // the wheel's angle of one notch
}  // namespace

void ViewZoom::CreateControls(QWidget* window, PaintBox* view, QRect strip) {
  box_ = view;
  box_->installEventFilter(this);
  box_->setToolTip(QStringLiteral("Left click: start, right click: end, middle click: play from there.\n"
                                  "While it plays, [ marks the start and ] the end at what you hear.\n"
                                  "Left/Right move the start by a beat (Shift: a bar), with Alt the end.\n"
                                  "Wheel: zoom (Shift: move along); Ctrl++/Ctrl+-: zoom; Ctrl+0: whole song; "
                                  "Z: zoom to the part."));
  zoomstrip = new QScrollBar(Qt::Horizontal, window);
  zoomstrip->setObjectName(QStringLiteral("zoomstrip"));
  zoomstrip->setGeometry(strip);
  zoomstrip->setFocusPolicy(Qt::NoFocus);
  zoomstrip->setRange(0, 0);
  zoomstrip->setToolTip(QStringLiteral("Drag to move along the song. Double-click: the whole song; right-click: zoom "
                                       "to the part"));
  zoomstrip->setStyleSheet(QStringLiteral(
      "QScrollBar:horizontal { height: %1px; background: #0b0f14; border: none; margin: 0; }"
      "QScrollBar::handle:horizontal { background: #5a7a9a; min-width: 12px; border-radius: 2px; }"
      "QScrollBar::add-line, QScrollBar::sub-line { width: 0; border: none; background: none; }"
      "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
                               .arg(strip.height()));
  zoomstrip->installEventFilter(this);
  connect(zoomstrip, &QScrollBar::valueChanged, this, [this](int column) {
    span_.PanTo(static_cast<int64_t>(column) * span_.bytesPerColumn());
  });
  auto* toPart = new QAction(QStringLiteral("Zoom to the part (Z)"), zoomstrip);
  auto* whole = new QAction(QStringLiteral("Whole song (Ctrl+0)"), zoomstrip);
  connect(toPart, &QAction::triggered, this, &ViewZoom::ZoomToPart);
  connect(whole, &QAction::triggered, this, &ViewZoom::ShowWhole);
  zoomstrip->addActions({toPart, whole});
  zoomstrip->setContextMenuPolicy(Qt::ActionsContextMenu);

  const auto key = [this, window](QList<QKeySequence> keys, auto action) {
    auto* shortcut = new QShortcut(window);
    shortcut->setKeys(keys);
    connect(shortcut, &QShortcut::activated, this, action);
  };
  key({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
      [this] { ZoomAround(box_->width() / 2, kKeyFactor); });
  key({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { ZoomAround(box_->width() / 2, 1 / kKeyFactor); });
  key({QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { ShowWhole(); });
}

const wave::ViewSpan& ViewZoom::Span() {
  const uint32_t bpp = bytesPerPixel_.load();
  if (bpp == 0) {
    span_ = {};
  } else if (span_.empty()) {
    // The first refresh of a file: its whole song, zoomable to one reading a column where the scan
    // keeps its readings.
    const int64_t length = audio::ChannelGetLength(playStream.load(), audio::POS_BYTE);
    const int64_t reading = peaks_.readingBytes() > 0 ? peaks_.readingBytes() : bpp;
    span_ = wave::ViewSpan(length, bpp, reading, box_ != nullptr ? box_->width() : 1);
    ShowSpan();
  }
  return span_;
}

void ViewZoom::Reset() {
  span_ = {};
  ShowSpan();
}

void ViewZoom::ZoomAround(int x, double factor) {
  if (Span().empty()) return;
  span_.ZoomAround(x, factor);
  ShowSpan();
}

void ViewZoom::PanBy(int columns) {
  if (Span().empty()) return;
  span_.PanBy(columns);
  ShowSpan();
}

void ViewZoom::ZoomToPart() {
  const int64_t start = selStart.load(), end = selEnd.load();
  if (Span().empty() || start == 0 || end == 0) return;
  span_.Fit(start, end);
  ShowSpan();
}

void ViewZoom::ShowWhole() {
  if (Span().empty()) return;
  span_.ShowWhole();
  ShowSpan();
}

QString ViewZoom::BandHint(int x) {
  if (!view_ || Span().empty()) return {};
  const wave::SongMap& map = view_->songMap();
  const wave::Section* section = wave::SectionAt(map, span_.SecondsOf(x, view_->bytesPerSecond()));
  if (section == nullptr) return {};
  return QString::fromStdString(wave::TimesText(wave::TimesHeard(map, section->group)));
}

void ViewZoom::ShowSpan() {
  if (zoomstrip == nullptr) return;
  const QSignalBlocker quiet(zoomstrip);
  const int64_t step = span_.empty() ? 1 : span_.bytesPerColumn();
  zoomstrip->setRange(0, static_cast<int>(span_.lastFirst() / step));
  zoomstrip->setPageStep(std::max(span_.columns(), 1));
  zoomstrip->setValue(static_cast<int>(span_.first() / step));
}

bool ViewZoom::eventFilter(QObject* watched, QEvent* event) {
  if (watched == zoomstrip) {
    if (event->type() == QEvent::MouseButtonDblClick) ShowWhole();
    return false;
  }
  switch (event->type()) {
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      const QPoint turn = wheel->angleDelta();
      // Shift turns the wheel into a pan, as does a sideways wheel; towards the user is later.
      if (turn.x() != 0 || wheel->modifiers().testFlag(Qt::ShiftModifier)) {
        const int notches = turn.x() != 0 ? turn.x() : turn.y();
        PanBy(-notches * kNotchColumns / kNotch);
      } else {
        ZoomAround(static_cast<int>(wheel->position().x()), std::pow(kNotchFactor, turn.y() / double{kNotch}));
      }
      return true;
    }
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_Z || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
      ZoomToPart();
      return true;
    }
    case QEvent::ToolTip: {
      const auto* help = static_cast<QHelpEvent*>(event);
      if (help->pos().y() < box_->height() - wave::WaveformView::kBandRows) return false;
      // Over the band: its section, or no hint at all.
      const QString hint = BandHint(help->pos().x());
      if (hint.isEmpty()) QToolTip::hideText();
      else QToolTip::showText(help->globalPos(), hint, box_);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace app
