// The main window: its controls, the state the rest of the program shares through it, start-up
// and shut-down.
//
// Constructing a Tfrmmain builds its controls and runs FormCreate; destroying it runs FormDestroy.
// Windows may be created and destroyed one after another in one process (each initialises and
// releases the audio engine); the program itself makes exactly one, reached through `frmmain`.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include "convert/ringtone_kind.h"

class QComboBox;

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/scan_suggestion.h"
#include "app/LoudnessPanel.h"
#include "app/ProgramState.h"
#include "app/ViewZoom.h"
#include "audio/engine.h"
#include "convert/ringtone_converter.h"
#include "preview/preview_effects.h"
#include "preview/render_effects.h"
#include "preview/transport.h"
#include "preview/triggers.h"
#include "source/input_choice.h"
#include "source/source_loader.h"
#include "wave/peak_buffers.h"
#include "wave/scan.h"
#include "wave/selection.h"
#include "wave/waveform_view.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QProgressBar;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;

namespace app {
class ButtonSpinEdit;
class PaintBox;
}  // namespace app

// The texts of a file dialog; the dialog itself is shown through app::hooks().
struct FileDialogSpec {
  QString title;
  QString filter;
};

class Tfrmmain : public QWidget, private wave::SelectionView, private source::SourceView {
  Q_OBJECT

 public:
  // Designed client size; the peak buffers have one entry per column of the client width.
  static constexpr int kClientWidth = 537;
  static constexpr int kClientHeight = 469;
  static constexpr int kViewLeft = 8;
  static constexpr int kViewTop = 70;
  static constexpr int kViewWidth = 520;
  static constexpr int kViewHeight = 148;

  explicit Tfrmmain(QWidget* parent = nullptr);
  ~Tfrmmain() override;

  // True when start-up stopped at the engine version check: the message has been shown and the
  // program is to end with exit code 0 without showing this window.
  bool StartupRefused() const { return startupRefused_; }

  // --- Controls, named as their objectName; owned by the window -------------------------------
  QLabel* sLabel1 = nullptr;
  QLineEdit* sEdit1 = nullptr;
  QPushButton* btnselect = nullptr;
  QLabel* sLabelFX1 = nullptr;
  app::PaintBox* PB = nullptr;
  QToolButton* btnplay = nullptr;
  QToolButton* btnpause = nullptr;
  QToolButton* btnstop = nullptr;
  QCheckBox* loopcheck = nullptr;
  QCheckBox* cbsnap = nullptr;  // marks snap to the beat
  QGroupBox* sGroupBox1 = nullptr;
  QLabel* sLabel6 = nullptr;
  app::ButtonSpinEdit* sedit = nullptr;
  QLabel* sLabel7 = nullptr;
  app::ButtonSpinEdit* eedit = nullptr;
  QLabel* sLabel8 = nullptr;
  QLineEdit* lengthedit = nullptr;
  QPushButton* btnsuggest = nullptr;
  QCheckBox* fadeincheck = nullptr;
  app::ButtonSpinEdit* spinfadein = nullptr;
  QLabel* sLabel2 = nullptr;
  QCheckBox* fadeoutcheck = nullptr;
  app::ButtonSpinEdit* spinfadeout = nullptr;
  QLabel* sLabel3 = nullptr;
  QCheckBox* checkgain = nullptr;
  QSlider* gaintrack = nullptr;
  QCheckBox* chighpass = nullptr;
  QSlider* barhighcut = nullptr;
  QCheckBox* clowpass = nullptr;
  QSlider* barlowcut = nullptr;
  QLabel* sLabel9 = nullptr;
  QLineEdit* outedit = nullptr;
  QPushButton* sButton1 = nullptr;
  QProgressBar* onebar = nullptr;
  QPushButton* btnconvert = nullptr;
  QComboBox* cbphone = nullptr;  // the kind of ringtone: iPhone, Android, MP3
  QGroupBox* sGroupBox2 = nullptr;
  QCheckBox* tagcheck = nullptr;
  QLabel* sLabel4 = nullptr;   // "Title:"
  QLineEdit* titedit = nullptr;
  QLabel* sLabel5 = nullptr;   // "Artist:"
  QLineEdit* artedit = nullptr;
  QLabel* sLabel10 = nullptr;  // "Album:"
  QLineEdit* albedit = nullptr;
  QLabel* sLabel11 = nullptr;  // "Genre:"
  QLineEdit* genedit = nullptr;
  QLabel* sLabel12 = nullptr;  // "Year:"
  QLineEdit* yearedit = nullptr;
  QCheckBox* autocheck = nullptr;
  QPushButton* btnabout = nullptr;
  QPushButton* btnhelp = nullptr;
  QTimer* Timer1 = nullptr;
  FileDialogSpec audioopen;
  FileDialogSpec sd;
  // Four 32 x 32 pictures: 0 convert, 1 play, 2 pause, 3 stop.
  std::vector<QPixmap> sAlphaImageList1;

  // --- Window state --------------------------------------------------------------------------
  // GUI thread only unless marked otherwise.
  QString exeDir;     // the program's folder, with a trailing '/'
  QString dataDir;    // the working folder, with a trailing '/'
  QString outputDir;  // dataDir + "output/"
  QImage backBitmap;  // the view's background, at the size of the file it was loaded from
  QImage waveBitmap;  // off-screen picture of the view, kViewWidth x kViewHeight, 32-bit
  // One pair of bar heights per column of the client width (peaksLeft, peaksRight). The scan
  // thread writes them, the view reads them.
  wave::PeakBuffers peaks;
  // Stream bytes per column; 0 = nothing to draw. Written on the GUI thread, read by the scan.
  std::atomic<uint32_t> bytesPerPixel{0};
  // Ends a running scan at its next pass. Set on the GUI thread, read by the scan.
  std::atomic<bool> scanStop{false};
  // The selection owns the drag mode and the trigger handles, the view the played column, the
  // loader the scan and its stream.

  // --- Handlers -------------------------------------------------------------------------------
  // "Set Outfile Name": lets the user choose the output file.
  void sButton1Click();
  // The phone choice: the output box's name and the save dialog follow it; it is remembered.
  void cbphoneChange();
  convert::RingtoneKind PhoneKind() const;
  // "About": a fresh about box, shown modally and freed when it closes.
  void btnaboutClick();
  // "Help": the help page beside the program, in the desktop's default viewer.
  void btnhelpClick();
  // Paints the view: the composed waveform once there is something to draw, else the background.
  void PBPaint(QPainter& painter);

  // Opening files: the dialog, the drop on the input box (local paths in the drag's order), the
  // common sequence.
  void btnselectClick();
  void audiodropDrop(const QStringList& paths);
  // Opens `path` as the dialog and a drop do; a file that does not open is reported, with why.
  void LoadInputFile(const QString& path);
  // The message that `path` cannot be opened, and `reason` why.
  void ShowCannotOpen(const QString& path, const QString& reason);
  // The 33-ms refresh of the view.
  void Timer1Timer();
  // The view's mouse.
  void PBMouseDown(Qt::MouseButton button, QPoint position);
  // The song's map, once the scan has found it: drawn on the view, used by the marks.
  void ShowSongMap();
  void PBMouseMove(QPoint position);
  void PBMouseUp();
  // The selection's spin edits.
  void seditUpClick();
  void seditDownClick();
  void eeditUpClick();
  void eeditDownClick();
  // "Suggest": selects the part the scan suggested (the chorus).
  void btnsuggestClick();
  // The effect controls.
  void checkgainClick();
  void chighpassClick();
  void clowpassClick();
  void gaintrackChange();
  void barhighcutChange();
  void barlowcutChange();
  // The transport.
  void btnplayClick();
  void btnpauseClick();
  void btnstopClick();
  // Space: presses the button or box that has the focus; otherwise pauses a playing preview and
  // plays one that is not playing.
  void PlayPauseKey();
  // [ and ]: the start (or the end) at the position being heard.
  void MarkKey(bool start);
  // The conversion.
  void btnconvertClick();
  void ConvertToRingtone(const QString& input, const QString& output);

  // The preview's and the conversion's parts, wired to the controls.
  preview::PreviewEffects effects{previewShared};
  preview::Triggers triggers{previewShared, effects};
  preview::Transport transport{previewShared, effects};
  preview::RenderEffects render{previewShared};
  convert::RingtoneConverter converter{render};
  wave::Selection selection{previewShared, triggers, *this};
  analysis::ScanSuggestion suggestion;  // learnt by the scan; outlives the loader's scan
  source::SourceLoader loader{previewShared, effects, triggers, *this, {peaks, bytesPerPixel, scanStop, &suggestion}};
  std::unique_ptr<wave::WaveformView> view;
  app::ViewZoom zoom{peaks, bytesPerPixel, view};  // the stretch of the song the view shows
  bool songMapShown = false;  // the open file's map has been taken from the scan
  // The meter `loudlabel` and the button `btnlevel` beside the gain controls.
  app::LoudnessPanel loudness;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();
  void FormDestroy();
  // Window dragging: the left button held while the pointer moves over the bare surface.
  void FormMouseMove(Qt::MouseButtons buttons, QPoint position);
  // Wires the controls to their handlers and mirrors what the engine's thread reads.
  void ConnectHandlers();
  void MirrorControls();
  // SelectionView: what the selection shows.
  void ShowStartSeconds(int64_t seconds) override;
  void ShowEndSeconds(int64_t seconds) override;
  void ShowLengthText(const std::string& text) override;
  // The gain and filter boxes and bars, as the conversion and the meter read them.
  preview::EffectControls TickedEffects() const;
  // The ringtone's length: the selection's exact seconds, which the conversion renders.
  double RingtoneSeconds() const;
  // The length box's colour and hint for the iPhone's length limits.
  void ShowPhoneFit();
  void EnableConvert(bool enabled) override;
  // SourceView: what opening a file changes.
  void ShowInputPath(const std::string& path) override;
  void ResetFileControls() override;
  void ResetPlayColumn() override;
  void SetCutoffBars(int32_t maximum) override;
  void InstallTickedEffects() override;
  void SetSelectionMaximum(int32_t seconds) override;
  int ViewWidth() const override { return kViewWidth; }
  void EnableView() override;
  void DisableView() override;
  // Opens the file a drop chose by the drop's rules, if any.
  void LoadDropped(const std::vector<source::DroppedItem>& items);
  // A drag over the window or the input box: files are taken as a copy or a link and the first
  // one opens; true when the event was a drag event.
  bool FileDragEvent(QEvent* event);
  bool closeAfterConversion_ = false;

  bool startupRefused_ = false;
  bool engineStarted_ = false;
  bool centred_ = false;
};

// The one main window of the program; the scan thread and the engine's callbacks reach it here.
// Set when a window is constructed, cleared when it is destroyed (GUI thread, while no scan runs).
extern Tfrmmain* frmmain;
