// The main window's handlers: opening files, the view's refresh and mouse, the selection's spin
// edits, the effect controls, the transport and the conversion. Each forwards to the plain
// classes of its subsystem; what the engine's thread reads is mirrored into atomics here.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "app/ButtonSpinEdit.h"
#include "app/BeatMarks.h"
#include "app/Hooks.h"
#include "app/OutputName.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "convert/encoder_command.h"
#include "convert/phone_limits.h"
#include "preview/effect_arithmetic.h"
#include "source/input_choice.h"
#include "source/openers.h"
#include "wave/select_part.h"

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
  setAcceptDrops(true);  // a file dropped anywhere else on the window opens as well
  connect(Timer1, &QTimer::timeout, this, &Tfrmmain::Timer1Timer);
  connect(PB, &app::PaintBox::mouseDown, this, &Tfrmmain::PBMouseDown);
  connect(PB, &app::PaintBox::mouseMove, this, [this](Qt::MouseButtons, QPoint p) { PBMouseMove(p); });
  connect(PB, &app::PaintBox::mouseUp, this, [this](Qt::MouseButton, QPoint) { PBMouseUp(); });
  connect(PB, &app::PaintBox::arrowKey, this,
          [this](int key, Qt::KeyboardModifiers held) { if (view) app::NudgeMark(selection, view->songMap(), key, held); });
  connect(cbsnap, &QCheckBox::toggled, this, [](bool on) { app::SaveSnapChoice(on); });
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
  connect(cbphone, &QComboBox::currentIndexChanged, this, &Tfrmmain::cbphoneChange);
  loudness.applyGain = [this](int32_t db) {
    checkgain->setChecked(true);
    gaintrack->setValue(db);
    checkgainClick();
  };
  connect(btnsuggest, &QPushButton::clicked, this, &Tfrmmain::btnsuggestClick);
}

void Tfrmmain::MirrorControls() {
  preview::ControlMirror& c = previewShared.controls;
  c.loop = loopcheck->isChecked();
  c.fadeIn = fadeincheck->isChecked();
  c.fadeInSeconds = spinfadein->value();
  c.fadeOut = fadeoutcheck->isChecked();
  c.fadeOutSeconds = spinfadeout->value();
  selection.PlaceFadeOut();  // the fade-out fits the selection with the boxes as they are now
}

// --- Opening files --------------------------------------------------------------------------

void Tfrmmain::btnselectClick() {
  const QString path = app::hooks().openFileName(this, audioopen.title, audioopen.filter);
  if (path.isEmpty()) return;
  LoadInputFile(path);
}

void Tfrmmain::audiodropDrop(const QStringList& paths) {
  std::vector<source::DroppedItem> items;
  for (const QString& path : paths) items.push_back({true, path.toStdString()});
  LoadDropped(items);
}

void Tfrmmain::LoadDropped(const std::vector<source::DroppedItem>& items) {
  if (const auto chosen = source::ChosenDropPath(items)) LoadInputFile(QString::fromStdString(*chosen));
}

bool Tfrmmain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sEdit1 && FileDragEvent(event)) return true;
  return QWidget::eventFilter(watched, event);
}

void Tfrmmain::dragEnterEvent(QDragEnterEvent* event) { FileDragEvent(event); }
void Tfrmmain::dragMoveEvent(QDragMoveEvent* event) { FileDragEvent(event); }
void Tfrmmain::dropEvent(QDropEvent* event) { FileDragEvent(event); }

bool Tfrmmain::FileDragEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  const Qt::DropActions offered = drop->possibleActions();
  const source::DropAction action = source::ChosenDropAction(
      {offered.testFlag(Qt::CopyAction), offered.testFlag(Qt::MoveAction), offered.testFlag(Qt::LinkAction)});
  std::vector<source::DroppedItem> items;
  for (const QUrl& url : drop->mimeData()->urls())
    items.push_back({url.isLocalFile(), url.isLocalFile() ? url.toLocalFile().toStdString() : std::string()});
  // A drag that would open nothing is refused from its start: no accepting cursor.
  if (action == source::DropAction::None || !source::ChosenDropPath(items)) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(action == source::DropAction::Copy ? Qt::CopyAction : Qt::LinkAction);
  drop->accept();
  if (type == QEvent::Drop) LoadDropped(items);
  return true;
}

void Tfrmmain::LoadInputFile(const QString& path) {
  MirrorControls();  // the fade-in starts from the boxes as they are now
  if (loader.LoadInputFile(path.toStdString())) return;
  ShowCannotOpen(path, QString::fromStdString(source::WhyNotOpened(path.toStdString())));
}

void Tfrmmain::ShowCannotOpen(const QString& path, const QString& reason) {
  // Before the window shows (a file named on the command line), the message waits for it.
  if (!isVisible()) {
    QTimer::singleShot(0, this, [this, path, reason] { ShowCannotOpen(path, reason); });
    return;
  }
  app::hooks().messageBox(this, QMessageBox::Warning, QStringLiteral("Ombrix Tonewright"),
                          QStringLiteral("Tonewright cannot open this file.\n\n%1: %2").arg(path, reason));
}

void Tfrmmain::ShowInputPath(const std::string& path) { sEdit1->setText(QString::fromStdString(path)); }

void Tfrmmain::ResetFileControls() {
  onebar->setValue(0);
  btnconvert->setEnabled(false);
  sedit->setMaximum(0);
  sedit->setValue(0);
  eedit->setMaximum(0);
  eedit->setValue(0);
  lengthedit->setText(QStringLiteral("0 Sec"));
  ShowPhoneFit();
  suggestion.Clear();  // the earlier file's scan has ended: its part goes with it
  btnsuggest->setEnabled(false);
  if (view) view->setSongMap({}, 0);
  songMapShown = false;
  zoom.Reset();  // another song: the whole of it
  cbsnap->setEnabled(false);
}

void Tfrmmain::ResetPlayColumn() {
  if (view) view->setPlayColumn(0);
}

void Tfrmmain::SetCutoffBars(int32_t maximum) {
  barhighcut->setMaximum(maximum);
  barhighcut->setValue(barhighcut->maximum() / 2);
  barlowcut->setMaximum(barhighcut->maximum());
  barlowcut->setValue(barlowcut->maximum());
}

void Tfrmmain::InstallTickedEffects() {
  checkgainClick();
  chighpassClick();
  clowpassClick();
}

void Tfrmmain::SetSelectionMaximum(int32_t seconds) {
  sedit->setMaximum(seconds);
  eedit->setMaximum(sedit->maximum());
}

void Tfrmmain::EnableView() {
  PB->setEnabled(true);
  Timer1->start();
}

void Tfrmmain::DisableView() {
  PB->setEnabled(false);
  PB->update();
}

// --- The view -------------------------------------------------------------------------------

void Tfrmmain::Timer1Timer() {
  loudness.Refresh(app::MarkedPart(sEdit1->text().toStdString(), previewShared, TickedEffects()));
  btnsuggest->setEnabled(suggestion.Ready().has_value());
  if (!songMapShown && btnsuggest->isEnabled()) ShowSongMap();
  if (bytesPerPixel.load() == 0 || !view) return;
  const wave::ViewState state{bytesPerPixel.load(), selStart.load(), selEnd.load(), zoom.Span()};
  view->Refresh(state, audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE));
  PB->repaint();
}

void Tfrmmain::ShowSongMap() {
  songMapShown = true;
  if (!view) return;
  const preview::StreamFormat& f = previewShared.format;
  view->setSongMap(suggestion.ReadyMap(), double(f.rate.load()) * f.channels.load() * (f.bits.load() / 8));
  cbsnap->setEnabled(view->songMap().HasBeat());
}

void Tfrmmain::PBMouseDown(Qt::MouseButton button, QPoint position) {
  if (view) app::ArmSnap(selection, view->songMap(), cbsnap->isChecked(), QGuiApplication::keyboardModifiers());
  selection.PBMouseDown(ButtonOf(button), position.x(), zoom.Span());
}

void Tfrmmain::PBMouseMove(QPoint position) { selection.PBMouseMove(position.x(), zoom.Span()); }

void Tfrmmain::PBMouseUp() { selection.PBMouseUp(); }

void Tfrmmain::btnsuggestClick() {
  const std::vector<analysis::Part> parts = suggestion.ReadyParts();
  if (parts.empty()) return;
  // A second click while an offered part is marked marks the next one, round the offers.
  const size_t next = analysis::NextOffered(parts, selection.StartTime(), selection.EndTime());
  wave::SelectPart(selection, playStream.load(), parts[next].start, parts[next].end);
}

void Tfrmmain::seditUpClick() { selection.seditUpClick(sedit->value(), sedit->maximum()); }
void Tfrmmain::seditDownClick() { selection.seditDownClick(sedit->value()); }
void Tfrmmain::eeditUpClick() { selection.eeditUpClick(eedit->value(), eedit->maximum()); }
void Tfrmmain::eeditDownClick() { selection.eeditDownClick(eedit->value()); }

void Tfrmmain::ShowStartSeconds(int64_t seconds) { sedit->setValue(static_cast<int>(seconds)); }
void Tfrmmain::ShowEndSeconds(int64_t seconds) { eedit->setValue(static_cast<int>(seconds)); }
void Tfrmmain::ShowLengthText(const std::string& text) {
  lengthedit->setText(QString::fromStdString(text));
  ShowPhoneFit();
}

preview::EffectControls Tfrmmain::TickedEffects() const {
  return {checkgain->isChecked(), gaintrack->value(), chighpass->isChecked(), barhighcut->value(),
          clowpass->isChecked(), barlowcut->value()};
}

double Tfrmmain::RingtoneSeconds() const { return selection.LengthTime(); }

void Tfrmmain::ShowPhoneFit() {
  const double seconds = RingtoneSeconds();
  const bool iPhone = PhoneKind() == convert::RingtoneKind::IPhone;
  const convert::PhoneFit fit = iPhone ? convert::FitOnPhone(seconds) : convert::PhoneFit::Fits;
  const char* name = fit == convert::PhoneFit::OverSync    ? "sync"
                     : fit == convert::PhoneFit::OverPhone ? "phone"
                                                           : "";
  if (lengthedit->property("phoneFit").toString() != QLatin1String(name)) {
    lengthedit->setProperty("phoneFit", QLatin1String(name));
    lengthedit->style()->unpolish(lengthedit);
    lengthedit->style()->polish(lengthedit);
  }
  lengthedit->setToolTip(iPhone ? QString::fromStdString(convert::LengthHint(seconds)) : QString());
}

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
  barhighcut->setToolTip(QString::number(preview::CutoffHintHz(barhighcut->value())) +
                         QStringLiteral(" Hz"));
}

void Tfrmmain::barlowcutChange() {
  clowpassClick();
  barlowcut->setToolTip(QString::number(preview::CutoffHintHz(barlowcut->value())) +
                        QStringLiteral(" Hz"));
}

// --- Transport ------------------------------------------------------------------------------

void Tfrmmain::btnplayClick() {
  MirrorControls();
  if (transport.btnplayClick(sEdit1->text().isEmpty()) == preview::Transport::PlayResult::OfferDialog)
    btnselectClick();
}

void Tfrmmain::btnpauseClick() { transport.btnpauseClick(); }

void Tfrmmain::PlayPauseKey() {
  if (auto* focused = qobject_cast<QAbstractButton*>(focusWidget())) {
    focused->click();
    return;
  }
  if (audio::ChannelIsActive(playStream.load()) == audio::ACTIVE_PLAYING) {
    btnpause->click();
  } else {
    btnplay->click();
  }
}

void Tfrmmain::MarkKey(bool start) { selection.MarkHeard(start); }

void Tfrmmain::btnstopClick() {
  if (transport.btnstopClick()) ResetPlayColumn();
}

// --- Conversion -----------------------------------------------------------------------------

void Tfrmmain::btnconvertClick() {
  if (converter.running()) return;  // one conversion at a time, and no question about another
  const double seconds = RingtoneSeconds();
  if (PhoneKind() == convert::RingtoneKind::IPhone && convert::FitOnPhone(seconds) == convert::PhoneFit::OverSync &&
      !app::hooks().question(this, QStringLiteral("Ombrix Tonewright"),
                             QString::fromStdString(convert::LengthQuestion(seconds))))
    return;
  ConvertToRingtone(sEdit1->text(), outedit->text());
}

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
  request.tags = tags;
  // Exactly the part the preview loops.
  request.startSeconds = selection.StartTime();
  request.endSeconds = selection.EndTime();
  request.effects = TickedEffects();
  converter.onProgress = [this](int percent) { onebar->setValue(percent); };
  converter.processEvents = [] { QCoreApplication::processEvents(); };
  const convert::ConvertResult result = converter.ConvertToRingtone(request);
  QString message = QString::fromLatin1(convert::ResultMessage(result));
  // A file that cannot be written says why (a full disk, a folder without the right to write).
  if (result == convert::ConvertResult::ErrorWriting && !converter.lastError().empty())
    message += QStringLiteral("\n\n") + QString::fromStdString(converter.lastError());
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
