// Start-up and shut-down of the main window: the controls' initial state, the working folders,
// the background picture, the engine version check and the engine's lifetime.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QToolButton>

#include <cmath>
#include <numbers>
#include <memory>
#include <string>

#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "source/input_choice.h"
#include "app_test_support.h"
#include "support/fixtures.h"
#include "audio/engine.h"

namespace {

class StartupTest : public apptest::WindowTest {
 protected:
  // A half-second stereo 16-bit WAV of a 440 Hz tone, written into the test's home folder.
  std::string ToneFile() {
    const QString path = home.path() + "/tone.wav";
    const uint32_t frames = 22050;
    QByteArray data;
    for (uint32_t i = 0; i < frames; ++i) {
      const auto v = static_cast<int16_t>(8000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * i / 44100.0));
      for (int c = 0; c < 2; ++c) data.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto le32 = [](uint32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](uint16_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    QByteArray wav = "RIFF" + le32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + le32(16) + le16(1) +
                     le16(2) + le32(44100) + le32(44100 * 4) + le16(4) + le16(16) + "data" +
                     le32(static_cast<uint32_t>(data.size())) + data;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(wav);
    return path.toStdString();
  }
};

template <typename W>
W* Find(Tfrmmain& w, const char* name) {
  W* found = w.findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

void ExpectCheck(Tfrmmain& w, const char* name, const char* text, bool checked) {
  auto* box = Find<QCheckBox>(w, name);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), text) << name;
  EXPECT_EQ(box->isChecked(), checked) << name;
}

void ExpectLabel(Tfrmmain& w, const char* name, const char* text) {
  auto* label = Find<QLabel>(w, name);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), text) << name;
}

void ExpectSpin(Tfrmmain& w, const char* name, int min, int max, int value) {
  auto* spin = Find<app::ButtonSpinEdit>(w, name);
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->minimum(), min) << name;
  EXPECT_EQ(spin->maximum(), max) << name;
  EXPECT_EQ(spin->value(), value) << name;
  EXPECT_EQ(spin->text(), QString::number(value)) << name;
}

void ExpectBar(Tfrmmain& w, const char* name, int min, int max, int position) {
  auto* bar = Find<QSlider>(w, name);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), min) << name;
  EXPECT_EQ(bar->maximum(), max) << name;
  EXPECT_EQ(bar->value(), position) << name;
  EXPECT_FALSE(bar->toolTip().isEmpty()) << name << " shows a hint";
}

TEST_F(StartupTest, EveryControlHasItsInitialState) {
  Tfrmmain w;
  ASSERT_FALSE(w.StartupRefused());
  EXPECT_EQ(frmmain, &w);
  EXPECT_EQ(w.windowTitle(), "Ombrix Tonewright");
  EXPECT_EQ(w.size(), QSize(537, 469));
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed size";
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

  ExpectLabel(w, "sLabel1", "Input File:");
  auto* input = Find<QLineEdit>(w, "sEdit1");
  ASSERT_NE(input, nullptr);
  EXPECT_TRUE(input->isReadOnly());
  EXPECT_TRUE(input->text().isEmpty());
  EXPECT_EQ(Find<QPushButton>(w, "btnselect")->text(), "Select");
  ExpectLabel(w, "sLabelFX1", "Left Click:Set Start time;Right Click:Set End time;Middle Click:Set Position");
  w.ensurePolished();
  w.sLabelFX1->ensurePolished();
  EXPECT_EQ(w.sLabelFX1->font().pixelSize(), 16);
  EXPECT_EQ(w.sLabel1->font().pixelSize(), 11);

  auto* pb = Find<app::PaintBox>(w, "PB");
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb->geometry(), QRect(8, 70, 520, 148));
  EXPECT_FALSE(pb->isEnabled());

  const char* transport[][2] = {{"btnplay", "Play (Space)"}, {"btnpause", "Pause (Space)"}, {"btnstop", "Stop"}};
  for (int i = 0; i < 3; ++i) {
    auto* button = Find<QToolButton>(w, transport[i][0]);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), transport[i][1]);
    EXPECT_EQ(button->icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
              w.sAlphaImageList1[static_cast<size_t>(i) + 1].toImage().convertToFormat(QImage::Format_ARGB32))
        << transport[i][0] << " shows picture " << i + 1;
  }
  ExpectCheck(w, "loopcheck", "Loop play select part", false);

  ExpectLabel(w, "sLabel6", "Start time:");
  ExpectSpin(w, "sedit", 0, 0, 0);
  ExpectLabel(w, "sLabel7", "End time:");
  ExpectSpin(w, "eedit", 0, 0, 0);
  ExpectLabel(w, "sLabel8", "Select Lenth:");
  EXPECT_EQ(Find<QLineEdit>(w, "lengthedit")->text(), "0 sec");
  EXPECT_TRUE(w.lengthedit->isReadOnly());
  for (const char* name : {"sLabel6", "sedit", "sLabel7", "eedit", "sLabel8", "lengthedit"}) {
    EXPECT_EQ(w.findChild<QWidget*>(name)->parentWidget(), w.sGroupBox1) << name;
  }
  EXPECT_TRUE(w.sGroupBox1->title().isEmpty());

  ExpectCheck(w, "fadeincheck", "Fade In", true);
  ExpectSpin(w, "spinfadein", 1, 10, 5);
  ExpectLabel(w, "sLabel2", "Sec");
  ExpectCheck(w, "fadeoutcheck", "Fade Out", false);
  ExpectSpin(w, "spinfadeout", 1, 10, 5);
  ExpectLabel(w, "sLabel3", "Sec");
  ExpectCheck(w, "checkgain", "Gain", false);
  ExpectBar(w, "gaintrack", -12, 12, 0);
  ExpectCheck(w, "chighpass", "High Pass", false);
  ExpectBar(w, "barhighcut", 0, 10000, 5000);
  ExpectCheck(w, "clowpass", "Low Pass", false);
  ExpectBar(w, "barlowcut", 0, 10000, 5000);

  ExpectLabel(w, "sLabel9", "OutFile:");
  EXPECT_TRUE(Find<QLineEdit>(w, "outedit")->isReadOnly());
  EXPECT_EQ(Find<QPushButton>(w, "sButton1")->text(), "Set Outfile Name");
  auto* gauge = Find<QProgressBar>(w, "onebar");
  ASSERT_NE(gauge, nullptr);
  EXPECT_EQ(gauge->value(), 0);
  EXPECT_EQ(gauge->text(), "0%");

  auto* convert = Find<QPushButton>(w, "btnconvert");
  ASSERT_NE(convert, nullptr);
  EXPECT_EQ(convert->text(), "Get\nRingtong");
  EXPECT_FALSE(convert->isEnabled());
  EXPECT_FALSE(convert->icon().isNull());

  ExpectCheck(w, "tagcheck", "Write Tag Information", false);
  EXPECT_EQ(w.tagcheck->parentWidget(), w.sGroupBox2);
  const char* tags[][2] = {{"titedit", "Title:"}, {"artedit", "Artist:"}, {"albedit", "Album:"},
                           {"genedit", "Genre:"}, {"yearedit", "Year:"}};
  for (const auto& tag : tags) {
    auto* edit = Find<QLineEdit>(w, tag[0]);
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_FALSE(edit->isReadOnly()) << tag[0];
    EXPECT_EQ(edit->parentWidget(), w.sGroupBox2);
    bool labelled = false;
    for (QLabel* label : w.sGroupBox2->findChildren<QLabel*>()) labelled |= label->text() == tag[1];
    EXPECT_TRUE(labelled) << tag[1];
  }
  EXPECT_TRUE(w.sGroupBox2->title().isEmpty());
  ExpectCheck(w, "autocheck", "Automatically open output folder", false);
  EXPECT_EQ(Find<QPushButton>(w, "btnabout")->text(), "About");
  EXPECT_EQ(Find<QPushButton>(w, "btnhelp")->text(), "Help");

  EXPECT_EQ(w.audioopen.title, "Select a file to play");
  EXPECT_EQ(w.audioopen.filter.toStdString(), source::OpenDialogFilter());
  EXPECT_EQ(w.sd.title, "Set ringtong filename");
  EXPECT_EQ(w.sd.filter, "iPhone Ringtong file(*.m4r)");

  ASSERT_NE(w.Timer1, nullptr);
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(w.Timer1->interval(), 33);

  ASSERT_EQ(w.sAlphaImageList1.size(), 4u);
  for (const QPixmap& picture : w.sAlphaImageList1) EXPECT_EQ(picture.size(), QSize(32, 32));

  // Every control of the window sits inside the client area and carries its name.
  for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(w.rect().contains(child->geometry())) << child->objectName().toStdString();
  }
}

TEST_F(StartupTest, WorkingFoldersAndDefaultOutputFile) {
  Tfrmmain w;
  EXPECT_EQ(w.exeDir, programFolder);
  EXPECT_EQ(w.dataDir, ExpectedDataDir());
  EXPECT_EQ(w.outputDir, ExpectedDataDir() + "output/");
  EXPECT_TRUE(QFileInfo(w.outputDir).isDir()) << "the output folder is created at start-up";
  EXPECT_EQ(w.outedit->text(), w.outputDir + "Ombrix.m4r");
  EXPECT_EQ(w.outedit->toolTip(), w.outedit->text());
}

TEST_F(StartupTest, AnOutputFolderThatCannotBeCreatedDoesNotStopStartUp) {
  // A file named "Documents" is in the way of the chain.
  QFile blocker(home.path() + "/Documents");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Tfrmmain w;
  EXPECT_FALSE(w.StartupRefused());
  EXPECT_FALSE(QFileInfo::exists(w.outputDir));
  EXPECT_EQ(w.outedit->text(), ExpectedDataDir() + "output/Ombrix.m4r");
  EXPECT_TRUE(messages.empty()) << "not reported";
  EXPECT_EQ(w.peaks.size(), 537u);
}

TEST_F(StartupTest, StateFieldsAfterStartUp) {
  selStart = 1234;
  selEnd = 5678;
  Tfrmmain w;
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(w.backBitmap.size(), QSize(520, 148)) << "back.bmp beside the program";
  EXPECT_EQ(w.waveBitmap.size(), QSize(520, 148));
  EXPECT_EQ(w.waveBitmap.depth(), 32);
  ASSERT_EQ(w.peaks.size(), 537u) << "one per column of the client width, not the view's 520";
  ASSERT_EQ(w.peaks.size(), 537u);
  for (size_t i = 0; i < 537; ++i) {
    ASSERT_EQ(w.peaks.left(i), 0);
    ASSERT_EQ(w.peaks.right(i), 0);
  }
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(selEnd.load(), 0);
  EXPECT_EQ(w.bytesPerPixel.load(), 0u);
  EXPECT_FALSE(w.scanStop.load());
  EXPECT_EQ(playStream.load(), 0u);
  EXPECT_EQ(w.view->playColumn(), 0);
  EXPECT_EQ(w.selection.dragMode(), 0);

  // With nothing to draw the view shows the background picture.
  w.PB->show();
  const QImage shown = w.PB->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown.copy(0, 0, 520, 148), w.backBitmap.convertToFormat(QImage::Format_RGB32));
}

TEST_F(StartupTest, MarkerLabelsKeepTheirPixelSizeAtALargeDesktopFont) {
  const QFont desktop = QApplication::font();
  QFont large = desktop;
  large.setPointSize(12);
  QApplication::setFont(large);
  Tfrmmain w;
  QApplication::setFont(desktop);
  // Three rows 12 pixels apart: the labels' size is in pixels, below the row spacing.
  EXPECT_EQ(w.view->labelFont().pixelSize(), wave::kStartRow - wave::kPlayRow - 1);
  EXPECT_TRUE(w.view->labelFont().bold());
}

TEST_F(StartupTest, TheEngineLivesAsLongAsTheWindow) {
  const std::string tone = ToneFile();
  audio::Handle stream = 0;
  {
    Tfrmmain w;
    EXPECT_FALSE(audio::Init(-1, 44100, 0, nullptr));
    EXPECT_EQ(audio::ErrorGetCode(), audio::ERROR_ALREADY) << "the window has initialised the engine";
    stream = audio::StreamCreateFile(tone.c_str(), 0, 0, audio::STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    EXPECT_GT(audio::ChannelGetLength(stream, audio::POS_BYTE), 0);
  }
  EXPECT_EQ(frmmain, nullptr);
  EXPECT_EQ(audio::ChannelGetLength(stream, audio::POS_BYTE), -1) << "shut-down released the stream";
  EXPECT_FALSE(audio::Free());
  EXPECT_EQ(audio::ErrorGetCode(), audio::ERROR_INIT) << "shut-down released the engine";

  // Windows come and go one after another, each with its own engine session.
  for (int i = 0; i < 3; ++i) {
    auto w = std::make_unique<Tfrmmain>();
    EXPECT_EQ(frmmain, w.get());
    EXPECT_NE(audio::StreamCreateFile(tone.c_str(), 0, 0, audio::STREAM_DECODE), 0u);
  }
  EXPECT_EQ(frmmain, nullptr);
}

TEST_F(StartupTest, MissingBackgroundIsReportedAndStartUpCarriesOn) {
  QTemporaryDir empty;
  programFolder = empty.path() + "/";
  Tfrmmain w;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(messages[0].text.contains(empty.path() + "/back.bmp")) << messages[0].text.toStdString();
  EXPECT_FALSE(w.StartupRefused());
  EXPECT_EQ(w.backBitmap.size(), QSize(520, 148)) << "a plain background";
  EXPECT_EQ(w.backBitmap.pixel(0, 0), w.backBitmap.pixel(519, 147));
  EXPECT_EQ(w.waveBitmap.size(), QSize(520, 148)) << "the later steps ran";
  EXPECT_EQ(w.peaks.size(), 537u);
  EXPECT_EQ(w.Timer1->interval(), 33);
  EXPECT_FALSE(audio::Init(-1, 44100, 0, nullptr)) << "the engine was initialised";
}

TEST_F(StartupTest, UnreadableBackgroundIsReportedToo) {
  QTemporaryDir folder;
  programFolder = folder.path() + "/";
  QFile broken(folder.path() + "/back.bmp");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("BM this is not a picture");
  broken.close();
  Tfrmmain w;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].text.contains(folder.path() + "/back.bmp"));
  EXPECT_EQ(w.backBitmap.size(), QSize(520, 148));
}

TEST_F(StartupTest, ABackgroundKeepsItsOwnSize) {
  QTemporaryDir folder;
  programFolder = folder.path() + "/";
  QImage small(100, 40, QImage::Format_RGB32);
  small.fill(QColor(10, 200, 30));
  ASSERT_TRUE(small.save(folder.path() + "/back.bmp", "BMP"));
  Tfrmmain w;
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(w.backBitmap.size(), QSize(100, 40));
  EXPECT_EQ(QColor(w.backBitmap.pixel(5, 5)), QColor(10, 200, 30));
}

TEST_F(StartupTest, AnotherEngineVersionEndsStartUpWithItsMessage) {
  for (const uint32_t version : {0x02030000u, 0x03040000u, 0x00000204u, 0x02050001u}) {
    messages.clear();
    app::hooks().engineVersion = [version] { return version; };
    Tfrmmain w;
    EXPECT_TRUE(w.StartupRefused()) << std::hex << version;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "An incorrect version of the audio engine was loaded");
    EXPECT_EQ(messages[0].owner, nullptr) << "no owner window";
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    // Steps 1-4 ran, nothing after the check did.
    EXPECT_TRUE(QFileInfo(w.outputDir).isDir());
    EXPECT_TRUE(w.backBitmap.isNull());
    EXPECT_TRUE(w.waveBitmap.isNull());
    EXPECT_TRUE(w.peaks.empty());
    EXPECT_EQ(w.Timer1->interval(), 0);
    EXPECT_TRUE(audio::Init(-1, 44100, 0, nullptr)) << "the engine was not initialised";
    audio::Free();
  }
  // The low word does not matter.
  messages.clear();
  app::hooks().engineVersion = [] { return 0x0204ffffu; };
  Tfrmmain w;
  EXPECT_FALSE(w.StartupRefused());
  EXPECT_TRUE(messages.empty());
}

// The program itself: run its entry in a child process with another engine version.
struct ProbeRun {
  int exitCode = -1;
  QString output;
};

ProbeRun RunProbe(const QString& version, const QString& home, const QStringList& arguments = {}) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TW_PROBE_VERSION", version);
  env.insert("HOME", home);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("SDL_AUDIODRIVER", "dummy");
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TW_VERSION_PROBE), arguments);
  ProbeRun run;
  if (!p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
    return run;
  }
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
  run.output = QString::fromLocal8Bit(p.readAllStandardOutput());
  return run;
}

TEST_F(StartupTest, TheProgramEndsWithExitCodeZeroBeforeShowingItsWindow) {
  const ProbeRun refused = RunProbe("02030000", home.path());
  EXPECT_EQ(refused.exitCode, 0);
  EXPECT_TRUE(refused.output.contains(
      "message owner=none icon=3 title=Error text=An incorrect version of the audio engine was loaded"))
      << refused.output.toStdString();
  EXPECT_FALSE(refused.output.contains("shown"));

  // The same probe with the right version shows its window: the check above can tell.
  const ProbeRun started = RunProbe("02040000", home.path());
  EXPECT_EQ(started.exitCode, 7);
  EXPECT_TRUE(started.output.contains("shown")) << started.output.toStdString();
  EXPECT_FALSE(started.output.contains("message"));
  // No display name of its own: Qt would append it to the title of every dialog and message box.
  EXPECT_TRUE(started.output.contains("display-name=tonewright\n")) << started.output.toStdString();
}

TEST_F(StartupTest, AFileOnTheCommandLineOpensAsIfDropped) {
  const QString ref = QString::fromStdString(twtest::Fixture("ref.wav"));
  EXPECT_TRUE(RunProbe("02040000", home.path(), {ref}).output.contains("shown input=" + ref + " "));
  const QString uri = QUrl::fromLocalFile(ref).toString(QUrl::FullyEncoded);
  EXPECT_TRUE(RunProbe("02040000", home.path(), {uri}).output.contains("shown input=" + ref + " "));
  // A name outside the list the dialog and the drop take is not opened, and the window says so;
  // so it does for a known name that does not open, with the reason.
  const QString notes = QString::fromStdString(twtest::Fixture("notes.txt"));
  const QString refused = RunProbe("02040000", home.path(), {notes}).output;
  EXPECT_TRUE(refused.contains("shown input= ")) << refused.toStdString();
  EXPECT_TRUE(refused.contains("message owner=window icon=2 title=Ombrix Tonewright text=Tonewright cannot open this file.\n\n" +
                               notes + ": its name does not end in one of the kinds Tonewright opens"))
      << refused.toStdString();
  const QString missing = home.path() + "/missing.mp3";
  const QString failed = RunProbe("02040000", home.path(), {missing}).output;
  EXPECT_TRUE(failed.contains("shown input=" + missing + " ")) << failed.toStdString();
  EXPECT_TRUE(failed.contains(missing + ": No such file or directory")) << failed.toStdString();
  // Other names of the desktop entry's types open too: AIFF as a file manager names it (".aif"),
  // Ogg audio named ".oga", and a ringtone to trim again.
  for (const auto& [fixture, name] : {std::pair{"ref.aiff", "/track.aif"}, std::pair{"ref.ogg", "/track.oga"},
                                      std::pair{"ref.m4a", "/bell.m4r"}}) {
    const QString copy = home.path() + name;
    ASSERT_TRUE(QFile::copy(QString::fromStdString(twtest::Fixture(fixture)), copy));
    const QString shown = RunProbe("02040000", home.path(), {copy}).output;
    EXPECT_TRUE(shown.contains("shown input=" + copy + " ")) << shown.toStdString();
  }
}

}  // namespace
