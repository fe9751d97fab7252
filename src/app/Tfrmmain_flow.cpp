// The main window's handlers: opening files, the view's refresh and mouse, the selection's spin
// edits, the effect controls, the transport and the conversion. Each forwards to the plain
// classes of its subsystem; what the engine's thread reads is mirrored into atomics here.
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "app/ButtonSpinEdit.h"
#include "app/Hooks.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "convert/encoder_command.h"
#include "preview/effect_arithmetic.h"
#include "source/openers.h"

namespace {

wave::MouseButton ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return wave::MouseButton::Left;
    case Qt::RightButton: return wave::MouseButton::Right;
    case Qt::MiddleButton: return wave::MouseButton::Middle;
    default: return wave::MouseButton::Other;
  }
}

// A fade length spin edit: its buttons step it within its range.
void Step(app::ButtonSpinEdit* spin, int by) { spin->setValue(spin->Limited(spin->value() + by)); }

}  // namespace

void Tfrmmain::ConnectHandlers() {
  connect(btnselect, &QPushButton::clicked, this, &Tfrmmain::btnselectClick);
  sEdit1->setAcceptDrops(true);
  sEdit1->installEventFilter(this);
  connect(Timer1, &QTimer::timeout, this, &Tfrmmain::Timer1Timer);
  connect(PB, &app::PaintBox::mouseDown, this, &Tfrmmain::PBMouseDown);
  connect(PB, &app::PaintBox::mouseMove, this, [this](Qt::MouseButtons, QPoint p) { PBMouseMove(p); });
  connect(PB, &app::PaintBox::mouseUp, this, [this](Qt::MouseButton, QPoint) { PBMouseUp(); });
  connect(sedit, &app::ButtonSpinEdit::upClicked, this, &Tfrmmain::seditUpClick);
  connect(sedit, &app::ButtonSpinEdit::downClicked, this, &Tfrmmain::seditDownClick);
  connect(eedit, &app::ButtonSpinEdit::upClicked, this, &Tfrmmain::eeditUpClick);
  connect(eedit, &app::ButtonSpinEdit::downClicked, this, &Tfrmmain::eeditDownClick);
  connect(checkgain, &QCheckBox::clicked, this, &Tfrmmain::checkgainClick);
  connect(chighpass, &QCheckBox::clicked, this, &Tfrmmain::chighpassClick);
  connect(clowpass, &QCheckBox::clicked, this, &Tfrmmain::clowpassClick);
  connect(gaintrack, &QSlider::valueChanged, this, &Tfrmmain::gaintrackChange);
  connect(barhighcut, &QSlider::valueChanged, this, &Tfrmmain::barhighcutChange);
  connect(barlowcut, &QSlider::valueChanged, this, &Tfrmmain::barlowcutChange);
  for (QCheckBox* box : {loopcheck, fadeincheck, fadeoutcheck})
    connect(box, &QCheckBox::toggled, this, &Tfrmmain::MirrorControls);
  connect(spinfadein, &app::ButtonSpinEdit::upClicked, this, [this] { Step(spinfadein, 1); MirrorControls(); });
  connect(spinfadein, &app::ButtonSpinEdit::downClicked, this, [this] { Step(spinfadein, -1); MirrorControls(); });
  connect(spinfadeout, &app::ButtonSpinEdit::upClicked, this, [this] { Step(spinfadeout, 1); MirrorControls(); });
  connect(spinfadeout, &app::ButtonSpinEdit::downClicked, this, [this] { Step(spinfadeout, -1); MirrorControls(); });
  connect(btnplay, &QToolButton::clicked, this, &Tfrmmain::btnplayClick);
  connect(btnpause, &QToolButton::clicked, this, &Tfrmmain::btnpauseClick);
  connect(btnstop, &QToolButton::clicked, this, &Tfrmmain::btnstopClick);
  connect(btnconvert, &QPushButton::clicked, this, &Tfrmmain::btnconvertClick);
}

void Tfrmmain::MirrorControls() {
  preview::ControlMirror& c = previewShared.controls;
  c.loop = loopcheck->isChecked();
  c.fadeIn = fadeincheck->isChecked();
  c.fadeInSeconds = spinfadein->value();
  c.fadeOut = fadeoutcheck->isChecked();
  c.fadeOutSeconds = spinfadeout->value();
}

// --- Opening files --------------------------------------------------------------------------

void Tfrmmain::btnselectClick() {
  QString patterns = QString::fromLatin1(source::kOpenFilterPatterns);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  const QString filter = QString::fromLatin1(source::kOpenFilterName) + QStringLiteral(" (") + patterns + QLatin1Char(')');
  const QString path = app::hooks().openFileName(this, QString::fromLatin1(source::kOpenDialogTitle), filter);
  if (path.isEmpty()) return;
  LoadInputFile(path);
}

void Tfrmmain::audiodropDrop(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const QString& name = paths.first();
  if (!source::IsDropAccepted(name.toStdString())) return;
  LoadInputFile(name);
}

bool Tfrmmain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sEdit1) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasUrls() && (drag->possibleActions() & (Qt::CopyAction | Qt::LinkAction))) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      QStringList paths;
      for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
      drop->acceptProposedAction();
      audiodropDrop(paths);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Tfrmmain::LoadInputFile(const QString& path) {
  // The earlier file's scan ends before anything of the next file starts.
  StopScans();
  if (playStream.load() != 0) {
    audio::ChannelStop(playStream.load());
    audio::StreamFree(playStream.load());
    playStream = 0;
    playColumn = 0;
    if (view) view->setPlayColumn(0);
    selStart = 0;
    selEnd = 0;
  }
  sEdit1->setText(path);
  onebar->setValue(0);
  btnconvert->setEnabled(false);
  sedit->setMaximum(0);
  sedit->setValue(0);
  eedit->setMaximum(0);
  eedit->setValue(0);
  lengthedit->setText(QStringLiteral("0 Sec"));
  if (OpenSource()) {
    PB->setEnabled(true);
    Timer1->start();
  }
}

bool Tfrmmain::OpenSource() {
  const std::string path = sEdit1->text().toStdString();
  const source::Opener opener = source::SourceOpener(source::LowerExtension(path));
  playStream = opener(path.c_str(), 0, 0, source::kPreviewFlags);
  const audio::Handle stream = playStream.load();
  if (stream == 0) return false;
  audio::ChannelInfo info{};
  audio::ChannelGetInfo(stream, &info);
  streamBits = 16;
  streamRate = static_cast<int32_t>(info.freq);
  barhighcut->setMaximum(streamRate / 2);
  barhighcut->setValue(barhighcut->maximum() / 2);
  barlowcut->setMaximum(barhighcut->maximum());
  barlowcut->setValue(barlowcut->maximum());
  streamChannels = static_cast<int32_t>(info.chans);
  const int64_t length = audio::ChannelGetLength(stream, audio::POS_BYTE);
  sedit->setMaximum(static_cast<int>(audio::ChannelBytes2Seconds(stream, length)));
  eedit->setMaximum(sedit->maximum());
  auto bpp = static_cast<uint32_t>(length / width());
  const auto minimum = static_cast<uint32_t>(audio::ChannelSeconds2Bytes(stream, 0.02));
  if (bpp < minimum) bpp = minimum;
  bytesPerPixel = bpp;
  audio::ChannelSetSync(stream, audio::SYNC_END | audio::SYNC_MIXTIME, 0, preview::Triggers::LoopSyncProc, &triggers);
  MirrorControls();
  effects.StartFade(stream, true);
  audio::ChannelPlay(stream, false);
  const audio::Handle scanned = opener(path.c_str(), 0, 0, source::kScanFlags);
  scanStream = scanned;
  if (scanned == 0) return false;
  scan_ = std::make_unique<wave::TScanThread>(scanned, wave::ScanTarget{&peaks, &bytesPerPixel, &scanStop});
  return true;
}

// --- The view -------------------------------------------------------------------------------

void Tfrmmain::Timer1Timer() {
  if (bytesPerPixel.load() == 0 || !view) return;
  const wave::ViewState state{bytesPerPixel.load(), selStart.load(), selEnd.load()};
  view->setPlayColumn(playColumn);
  view->Refresh(state, audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE));
  playColumn = view->playColumn();
  PB->repaint();
}

void Tfrmmain::PBMouseDown(Qt::MouseButton button, QPoint position) {
  selection.PBMouseDown(ButtonOf(button), position.x(), bytesPerPixel.load());
  dragMode = selection.dragMode();
}

void Tfrmmain::PBMouseMove(QPoint position) { selection.PBMouseMove(position.x(), bytesPerPixel.load()); }

void Tfrmmain::PBMouseUp() {
  selection.PBMouseUp();
  dragMode = 0;
}

void Tfrmmain::seditUpClick() { selection.seditUpClick(sedit->value(), sedit->maximum()); }
void Tfrmmain::seditDownClick() { selection.seditDownClick(sedit->value()); }
void Tfrmmain::eeditUpClick() { selection.eeditUpClick(eedit->value(), eedit->maximum()); }
void Tfrmmain::eeditDownClick() { selection.eeditDownClick(eedit->value()); }

void Tfrmmain::ShowStartSeconds(int64_t seconds) { sedit->setValue(static_cast<int>(seconds)); }
void Tfrmmain::ShowEndSeconds(int64_t seconds) { eedit->setValue(static_cast<int>(seconds)); }
void Tfrmmain::ShowLengthText(const std::string& text) { lengthedit->setText(QString::fromStdString(text)); }
void Tfrmmain::EnableConvert(bool enabled) { btnconvert->setEnabled(enabled); }

// --- Effects --------------------------------------------------------------------------------

void Tfrmmain::checkgainClick() { effects.checkgainClick(checkgain->isChecked(), gaintrack->value()); }
void Tfrmmain::chighpassClick() { effects.chighpassClick(chighpass->isChecked(), barhighcut->value()); }
void Tfrmmain::clowpassClick() { effects.clowpassClick(clowpass->isChecked(), barlowcut->value()); }

void Tfrmmain::gaintrackChange() {
  checkgainClick();
  gaintrack->setToolTip(QString::number(gaintrack->value()) + QStringLiteral(" db"));
}

void Tfrmmain::barhighcutChange() {
  chighpassClick();
  barhighcut->setToolTip(QString::number(preview::CutoffHintHz(barhighcut->value(), streamRate)) +
                         QStringLiteral(" Hz"));
}

void Tfrmmain::barlowcutChange() {
  clowpassClick();
  barlowcut->setToolTip(QString::number(preview::CutoffHintHz(barlowcut->value(), streamRate)) +
                        QStringLiteral(" Hz"));
}

// --- Transport ------------------------------------------------------------------------------

void Tfrmmain::btnplayClick() {
  MirrorControls();
  if (transport.btnplayClick(sEdit1->text().isEmpty()) == preview::Transport::PlayResult::OfferDialog)
    btnselectClick();
}

void Tfrmmain::btnpauseClick() { transport.btnpauseClick(); }

void Tfrmmain::btnstopClick() {
  if (!transport.btnstopClick()) return;
  playColumn = 0;
  if (view) view->setPlayColumn(0);
}

// --- Conversion -----------------------------------------------------------------------------

void Tfrmmain::btnconvertClick() { ConvertToRingtone(sEdit1->text(), outedit->text()); }

void Tfrmmain::ConvertToRingtone(const QString& input, const QString& output) {
  if (converter.running()) return;  // one conversion at a time
  MirrorControls();
  convert::ConvertRequest request;
  request.inputPath = input.toStdString();
  request.outputPath = output.toStdString();
  convert::TagFields tags{tagcheck->isChecked(), titedit->text().toStdString(), artedit->text().toStdString(),
                          albedit->text().toStdString(), genedit->text().toStdString(),
                          yearedit->text().toStdString()};
  request.command = convert::BuildEncoderCommand(request.outputPath, tags);
  request.startSeconds = sedit->value();
  request.endSeconds = eedit->value();
  request.effects = preview::EffectControls{checkgain->isChecked(), gaintrack->value(),
                                            chighpass->isChecked(), barhighcut->value(),
                                            clowpass->isChecked(), barlowcut->value()};
  converter.onProgress = [this](int percent) { onebar->setValue(percent); };
  converter.processEvents = [] { QCoreApplication::processEvents(); };
  const convert::ConvertResult result = converter.ConvertToRingtone(request);
  const QString message = QString::fromLatin1(convert::ResultMessage(result));
  if (!message.isEmpty()) {
    app::hooks().messageBox(this, QMessageBox::Critical, QStringLiteral("Error"), message);
  } else if (result == convert::ConvertResult::Done && autocheck->isChecked()) {
    const QString folder = QFileInfo(outedit->text()).absolutePath() + QLatin1Char('/');
    app::hooks().openUrl(QUrl::fromLocalFile(folder));
  }
  if (closeAfterConversion_) QTimer::singleShot(0, this, &QWidget::close);
}

void Tfrmmain::closeEvent(QCloseEvent* event) {
  if (converter.running()) {
    // The running conversion is cancelled (no file is left); the window closes after it.
    closeAfterConversion_ = true;
    converter.Cancel();
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}
