#include "app/Tfrmmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/Folders.h"
#include "app/Hooks.h"
#include "app/Look.h"
#include "app/OutputName.h"
#include "app/PaintBox.h"
#include "app/Picture.h"
#include "app/Tfrmabout.h"

Tfrmmain* frmmain = nullptr;

namespace {

constexpr uint32_t kEngineVersionWord = 0x0204;
constexpr int kViewTimerMs = 33;

}  // namespace

Tfrmmain::Tfrmmain(QWidget* parent) : QWidget(parent) {
  frmmain = this;
  CreateControls();
  FormCreate();
}

Tfrmmain::~Tfrmmain() {
  FormDestroy();
  if (frmmain == this) frmmain = nullptr;
}

void Tfrmmain::FormCreate() {
  app::Hooks& h = app::hooks();

  // 1-4: the working folders and the default output file.
  exeDir = h.programFolder();
  dataDir = app::DataFolderIn(app::GetDocumentsFolder(), QDir::homePath());
  outputDir = app::OutputFolderOf(dataDir);
  app::ForceFolderChain(outputDir);  // a missing folder shows when the encoder cannot write
  // The phone chosen last time, and the default output file of its kind.
  cbsnap->setChecked(app::LoadSnapChoice());
  const convert::RingtoneKind kind = app::LoadPhoneChoice();
  cbphone->setCurrentIndex(cbphone->findData(static_cast<int>(kind)));
  outedit->setText(app::WithKindExtension(outputDir + app::kDefaultOutputName, kind));
  outedit->setToolTip(outedit->text());
  sd.filter = app::SaveDialogFilter(kind);

  // 5: the engine must be version 2.4; otherwise the program ends before the window shows.
  if ((h.engineVersion() >> 16) != kEngineVersionWord) {
    h.messageBox(nullptr, QMessageBox::Critical, QStringLiteral("Error"),
                 QStringLiteral("An incorrect version of the audio engine was loaded"));
    startupRefused_ = true;
    return;
  }

  // 6: the view's background. If it cannot be read, say so and carry on with a plain one.
  backBitmap = QImage(kViewWidth, kViewHeight, QImage::Format_RGB32);
  backBitmap.fill(app::colors::kField);
  QString problem;
  if (!app::LoadPicture(exeDir + QStringLiteral("back.bmp"), backBitmap, problem)) {
    h.messageBox(this, QMessageBox::Critical, QStringLiteral("Ombrix Tonewright"), problem);
  }

  // 7: the off-screen picture the view is composed in.
  waveBitmap = QImage(kViewWidth, kViewHeight, QImage::Format_RGB32);
  waveBitmap.fill(Qt::black);

  // 8: painting is double-buffered: Qt's backing store composes every widget off-screen.

  // 9: one peak per column of the client width, all 0.
  peaks.Reset(static_cast<size_t>(width()));
  view = std::make_unique<wave::WaveformView>(&waveBitmap, &peaks, width(), [](int64_t bytes) {
    return audio::ChannelBytes2Seconds(playStream.load(), bytes);
  });
  view->setBackground(backBitmap);
  QFont labels(QStringLiteral("Sans Serif"));
  labels.setBold(true);
  // The three marker rows are 12 pixels apart: a size in pixels keeps them apart at any desktop
  // font size.
  labels.setPixelSize(wave::kStartRow - wave::kPlayRow - 1);
  view->setLabelFont(labels);

  // 10: no selection.
  selStart = 0;
  selEnd = 0;

  // 11: the default output device at 44100 Hz. A failure shows later, in the engine's calls.
  audio::Init(-1, 44100, 0, static_cast<void*>(this));
  engineStarted_ = true;

  // 12: the view's refresh interval; the timer starts with the first opened file.
  Timer1->setInterval(kViewTimerMs);
  ConnectHandlers();
  MirrorControls();
}

void Tfrmmain::FormDestroy() {
  backBitmap = QImage();
  bytesPerPixel = 0;  // the view draws nothing from now on
  scanStop = true;    // a running scan ends at its next pass
  loader.StopScan();
  converter.Cancel();
  loudness.Stop();
  view.reset();
  waveBitmap = QImage();
  if (engineStarted_) {
    // Releases the output and every stream, sync and effect still open.
    audio::Free();
    engineStarted_ = false;
    playStream = 0;
  }
}

void Tfrmmain::sButton1Click() {
  const QString chosen = app::hooks().saveFileName(this, sd.title, sd.filter);
  if (chosen.isEmpty()) return;  // cancelled
  outedit->setText(app::RingtoneFileName(chosen, PhoneKind()));
  // The hint keeps the default path of start-up.
}

convert::RingtoneKind Tfrmmain::PhoneKind() const {
  return static_cast<convert::RingtoneKind>(cbphone->currentData().toInt());
}

void Tfrmmain::cbphoneChange() {
  const convert::RingtoneKind kind = PhoneKind();
  app::SavePhoneChoice(kind);
  outedit->setText(app::WithKindExtension(outedit->text(), kind));
  sd.filter = app::SaveDialogFilter(kind);
  ShowPhoneFit();  // the iPhone's limits apply to the iPhone's ringtone only
}

void Tfrmmain::btnaboutClick() {
  Tfrmabout box(this);
  box.exec();
}

void Tfrmmain::btnhelpClick() {
  app::hooks().openUrl(QUrl::fromLocalFile(exeDir + QStringLiteral("tonehelp.html")));
}

void Tfrmmain::PBPaint(QPainter& painter) {
  painter.fillRect(PB->rect(), app::colors::kField);
  painter.drawImage(0, 0, bytesPerPixel != 0 ? waveBitmap : backBitmap);
}

void Tfrmmain::mouseMoveEvent(QMouseEvent* event) {
  FormMouseMove(event->buttons(), event->position().toPoint());
  QWidget::mouseMoveEvent(event);
}

void Tfrmmain::FormMouseMove(Qt::MouseButtons buttons, QPoint position) {
  if (!(buttons & Qt::LeftButton)) return;
  // Only the bare surface moves the window; a move that began on a control stays with it.
  if (childAt(position) != nullptr) return;
  app::hooks().startSystemMove(windowHandle());
}

void Tfrmmain::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      QRect frame = frameGeometry();
      frame.moveCenter(area.center());
      move(frame.topLeft());
    }
  }
  QWidget::showEvent(event);
}
