// The main window's controls: kind, caption, initial state, hint and place of each.
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <iterator>

#include "app/ButtonSpinEdit.h"
#include "app/ImageList.h"
#include "app/Look.h"
#include "app/OutputName.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "source/input_choice.h"

namespace {

template <typename W>
W* Make(QWidget* parent, const char* name, QRect place) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(place);
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect place) {
  auto* label = Make<QLabel>(parent, name, place);
  label->setText(text);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect place, bool readOnly) {
  auto* edit = Make<QLineEdit>(parent, name, place);
  edit->setReadOnly(readOnly);
  // Text dragged onto a box never lands in it: a dropped file opens wherever it falls.
  edit->setAcceptDrops(false);
  return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, bool checked, QRect place) {
  auto* box = Make<QCheckBox>(parent, name, place);
  box->setText(text);
  box->setChecked(checked);
  // Reached by Tab, not by a click: after a click Space stays with the transport.
  box->setFocusPolicy(Qt::TabFocus);
  return box;
}

app::ButtonSpinEdit* MakeSpin(QWidget* parent, const char* name, int min, int max, int value, QRect place) {
  auto* spin = Make<app::ButtonSpinEdit>(parent, name, place);
  spin->setRange(min, max);
  spin->setValue(value);
  return spin;
}

QSlider* MakeBar(QWidget* parent, const char* name, int min, int max, int position, const QString& unit,
                 QRect place) {
  auto* bar = Make<QSlider>(parent, name, place);
  bar->setOrientation(Qt::Horizontal);
  bar->setRange(min, max);
  bar->setValue(position);
  // The hint shows the position with its unit, as a move of the bar keeps it.
  bar->setToolTip(QString::number(position) + unit);
  return bar;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect place) {
  auto* button = Make<QPushButton>(parent, name, place);
  button->setText(text);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

QToolButton* MakePictureButton(QWidget* parent, const char* name, const QPixmap& picture,
                               const QString& hint, QRect place) {
  auto* button = Make<QToolButton>(parent, name, place);
  button->setIcon(QIcon(picture));
  button->setIconSize(picture.size());
  button->setToolTip(hint);
  return button;
}

}  // namespace

void Tfrmmain::CreateControls() {
  setObjectName(QStringLiteral("frmmain"));
  setWindowTitle(QStringLiteral("Ombrix Tonewright"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setAttribute(Qt::WA_StyledBackground);
  setFont(app::SansFont(11));
  setStyleSheet(app::StyleSheet());

  sAlphaImageList1 = app::MakeImageList();
  setWindowIcon(QIcon(app::DrawEmblem()));

  // The input file.
  sLabel1 = MakeLabel(this, "sLabel1", QStringLiteral("Input File:"), {8, 12, 58, 16});
  sEdit1 = MakeEdit(this, "sEdit1", {66, 8, 384, 24}, true);
  btnselect = MakeButton(this, "btnselect", QStringLiteral("Select"), {456, 7, 72, 26});

  // The waveform view and its hint line.
  sLabelFX1 = MakeLabel(this, "sLabelFX1",
                        QStringLiteral("Left Click:Set Start time;Right Click:Set End time;Middle Click:Set Position"),
                        {8, 42, 434, 22});
  sLabelFX1->setFont(app::NarrowFont(16));
  auto* shadow = new QGraphicsDropShadowEffect(sLabelFX1);
  shadow->setColor(app::colors::kRed);
  shadow->setOffset(1.5, 1.5);
  shadow->setBlurRadius(0);
  sLabelFX1->setGraphicsEffect(shadow);

  // Marks on the song's beats, for a song where one was found.
  cbsnap = MakeCheck(this, "cbsnap", QStringLiteral("Snap to beat"), false, {444, 44, 86, 20});
  cbsnap->setEnabled(false);
  cbsnap->setToolTip(QStringLiteral("A click sets the start or the end on the nearest beat (with Shift: exactly where "
                                    "you click)"));
  PB = Make<app::PaintBox>(this, "PB", {kViewLeft, kViewTop, kViewWidth, kViewHeight});
  PB->setEnabled(false);
  PB->onPaint = [this](QPainter& painter) { PBPaint(painter); };
  zoom.CreateControls(this, PB, {kViewLeft, kViewTop + kViewHeight, kViewWidth, 5});

  // Transport, loop and fades.
  btnplay = MakePictureButton(this, "btnplay", sAlphaImageList1[app::kImagePlay], QStringLiteral("Play"),
                              {8, 225, 38, 38});
  btnpause = MakePictureButton(this, "btnpause", sAlphaImageList1[app::kImagePause], QStringLiteral("Pause"),
                               {50, 225, 38, 38});
  btnstop = MakePictureButton(this, "btnstop", sAlphaImageList1[app::kImageStop], QStringLiteral("Stop"),
                              {92, 225, 38, 38});
  loopcheck = MakeCheck(this, "loopcheck", QStringLiteral("Loop play select part"), false, {8, 269, 150, 20});
  fadeincheck = MakeCheck(this, "fadeincheck", QStringLiteral("Fade In"), true, {8, 294, 76, 20});
  spinfadein = MakeSpin(this, "spinfadein", 1, 10, 5, {84, 293, 44, 22});
  sLabel2 = MakeLabel(this, "sLabel2", QStringLiteral("Sec"), {132, 296, 24, 16});
  fadeoutcheck = MakeCheck(this, "fadeoutcheck", QStringLiteral("Fade Out"), false, {8, 319, 76, 20});
  spinfadeout = MakeSpin(this, "spinfadeout", 1, 10, 5, {84, 318, 44, 22});
  sLabel3 = MakeLabel(this, "sLabel3", QStringLiteral("Sec"), {132, 321, 24, 16});

  // The selection.
  sGroupBox1 = Make<QGroupBox>(this, "sGroupBox1", {162, 223, 172, 118});
  sLabel6 = MakeLabel(sGroupBox1, "sLabel6", QStringLiteral("Start time:"), {10, 12, 74, 16});
  sedit = MakeSpin(sGroupBox1, "sedit", 0, 0, 0, {86, 8, 76, 24});
  sLabel7 = MakeLabel(sGroupBox1, "sLabel7", QStringLiteral("End time:"), {10, 40, 74, 16});
  eedit = MakeSpin(sGroupBox1, "eedit", 0, 0, 0, {86, 36, 76, 24});
  sLabel8 = MakeLabel(sGroupBox1, "sLabel8", QStringLiteral("Select Lenth:"), {10, 68, 74, 16});
  lengthedit = MakeEdit(sGroupBox1, "lengthedit", {86, 64, 76, 24}, true);
  lengthedit->setText(QStringLiteral("0 sec"));
  btnsuggest = MakeButton(sGroupBox1, "btnsuggest", QStringLiteral("Suggest"), {10, 92, 152, 22});
  btnsuggest->setToolTip(QStringLiteral("Select the part the song repeats most (its chorus), from its first beat in "
                                        "whole bars; click again for the next-best part (up to three, then round)"));
  btnsuggest->setEnabled(false);

  // Gain and filters, and the conversion's progress.
  // The part's loudness under the gain row, which holds the Level button.
  checkgain = MakeCheck(this, "checkgain", QStringLiteral("Gain"), false, {342, 225, 82, 20});
  gaintrack = MakeBar(this, "gaintrack", -12, 12, 0, QStringLiteral(" db"), {424, 225, 58, 20});
  loudness.CreateControls(this, {346, 246, 182, 16}, {484, 223, 44, 23});
  chighpass = MakeCheck(this, "chighpass", QStringLiteral("High Pass"), false, {342, 266, 82, 20});
  barhighcut = MakeBar(this, "barhighcut", 0, 10000, 5000, QStringLiteral(" Hz"), {424, 266, 104, 20});
  clowpass = MakeCheck(this, "clowpass", QStringLiteral("Low Pass"), false, {342, 292, 82, 20});
  barlowcut = MakeBar(this, "barlowcut", 0, 10000, 5000, QStringLiteral(" Hz"), {424, 292, 104, 20});
  onebar = Make<QProgressBar>(this, "onebar", {342, 320, 186, 20});
  onebar->setRange(0, 100);
  onebar->setValue(0);
  onebar->setFormat(QStringLiteral("%p%"));

  // The output file.
  sLabel9 = MakeLabel(this, "sLabel9", QStringLiteral("OutFile:"), {8, 351, 48, 16});
  outedit = MakeEdit(this, "outedit", {56, 347, 346, 24}, true);
  sButton1 = MakeButton(this, "sButton1", QStringLiteral("Set Outfile Name"), {408, 346, 120, 26});

  // The tags.
  sGroupBox2 = Make<QGroupBox>(this, "sGroupBox2", {8, 377, 318, 64});
  tagcheck = MakeCheck(sGroupBox2, "tagcheck", QStringLiteral("Write Tag Information"), false, {8, 3, 160, 18});
  sLabel12 = MakeLabel(sGroupBox2, "sLabel12", QStringLiteral("Year:"), {204, 5, 36, 14});
  yearedit = MakeEdit(sGroupBox2, "yearedit", {242, 3, 68, 19}, false);
  sLabel4 = MakeLabel(sGroupBox2, "sLabel4", QStringLiteral("Title:"), {8, 25, 40, 14});
  titedit = MakeEdit(sGroupBox2, "titedit", {48, 23, 108, 19}, false);
  sLabel5 = MakeLabel(sGroupBox2, "sLabel5", QStringLiteral("Artist:"), {164, 25, 40, 14});
  artedit = MakeEdit(sGroupBox2, "artedit", {204, 23, 106, 19}, false);
  sLabel10 = MakeLabel(sGroupBox2, "sLabel10", QStringLiteral("Album:"), {8, 45, 40, 14});
  albedit = MakeEdit(sGroupBox2, "albedit", {48, 43, 108, 19}, false);
  sLabel11 = MakeLabel(sGroupBox2, "sLabel11", QStringLiteral("Genre:"), {164, 45, 40, 14});
  genedit = MakeEdit(sGroupBox2, "genedit", {204, 43, 106, 19}, false);

  // Convert, and the way out to the about box and help.
  btnconvert = MakeButton(this, "btnconvert", QStringLiteral("Get\nRingtong"), {334, 379, 112, 44});
  btnconvert->setIcon(QIcon(sAlphaImageList1[app::kImageConvert]));
  btnconvert->setIconSize(QSize(32, 32));
  btnconvert->setEnabled(false);
  cbphone = Make<QComboBox>(this, "cbphone", {334, 425, 112, 20});
  for (const convert::RingtoneKind kind : {convert::RingtoneKind::IPhone, convert::RingtoneKind::Android, convert::RingtoneKind::Mp3})
    cbphone->addItem(QString::fromLatin1(convert::ChoiceText(kind)), static_cast<int>(kind));
  cbphone->setToolTip(QStringLiteral("The phone the ringtone is for: an iPhone's AAC (.m4r), Android's Ogg Vorbis (.ogg) or an MP3"));
  autocheck = MakeCheck(this, "autocheck", QStringLiteral("Automatically open output folder"), false,
                        {334, 447, 194, 18});
  btnabout = MakeButton(this, "btnabout", QStringLiteral("About"), {452, 379, 76, 21});
  btnhelp = MakeButton(this, "btnhelp", QStringLiteral("Help"), {452, 402, 76, 21});

  // The dialogs and the view's timer.
  audioopen = {QString::fromLatin1(source::kOpenDialogTitle), QString::fromStdString(source::OpenDialogFilter())};
  sd = {app::kSaveDialogTitle, app::kSaveDialogFilter};
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));

  // The keyboard: Tab walks the controls as the window reads, row by row and the tags in the order
  // a ringtone's details are usually typed; the usual keys open a file, open help and quit.
  QWidget* const order[] = {sEdit1,     btnselect,  cbsnap,     btnplay,    btnpause,   btnstop,   loopcheck,
                                  fadeincheck, spinfadein, fadeoutcheck, spinfadeout, sedit,   eedit,
                                  lengthedit, btnsuggest, checkgain,  gaintrack,  loudness.btnlevel, chighpass,  barhighcut, clowpass,
                                  barlowcut,  outedit,    sButton1,   tagcheck,   titedit,   artedit,
                                  albedit,    genedit,    yearedit,   btnconvert, cbphone, autocheck, btnabout,
                                  btnhelp};
  for (size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(order[i - 1], order[i]);
  }
  btnselect->setToolTip(QStringLiteral("Choose a music file (Ctrl+O)"));
  btnhelp->setToolTip(QStringLiteral("Open the help page (F1)"));
  btnplay->setToolTip(QStringLiteral("Play (Space)"));
  btnpause->setToolTip(QStringLiteral("Pause (Space)"));
  // Space plays and pauses as in media players; a text box with the focus takes it as a space,
  // a button or box that Tab moved to takes it as a press.
  connect(new QShortcut(QKeySequence(Qt::Key_Space), this), &QShortcut::activated, this, &Tfrmmain::PlayPauseKey);
  // [ and ] mark the start and the end where the preview is heard, as in sound editors; like
  // Space, a text box with the focus takes them as text.
  connect(new QShortcut(QKeySequence(Qt::Key_BracketLeft), this), &QShortcut::activated, this, [this] { MarkKey(true); });
  connect(new QShortcut(QKeySequence(Qt::Key_BracketRight), this), &QShortcut::activated, this, [this] { MarkKey(false); });
  connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, btnselect, [this] { btnselect->click(); });
  connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, btnhelp,
          [this] { btnhelp->click(); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this, &QWidget::close);

  connect(sButton1, &QPushButton::clicked, this, &Tfrmmain::sButton1Click);
  connect(btnabout, &QPushButton::clicked, this, &Tfrmmain::btnaboutClick);
  connect(btnhelp, &QPushButton::clicked, this, &Tfrmmain::btnhelpClick);
}
