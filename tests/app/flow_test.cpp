// The window driven as a user would, on real files: opening by dialog and by drop, the bars and
// spin edits set from the file, the scan filling the peaks, mouse clicks on the view setting the
// selection, the transport, and a conversion that writes a ringtone.
#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "wave/seconds_text.h"
#include "app_test_support.h"
#include "support/fixtures.h"

namespace {

class FlowTest : public apptest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    app::hooks().openFileName = [this](QWidget*, const QString& title, const QString& filter) {
      openTitles.push_back(title);
      openFilters.push_back(filter);
      return openAnswer;
    };
  }
  static QString F(const char* name) { return QString::fromStdString(twtest::Fixture(name)); }
  // Waits (processing events) until `done` or the time is up.
  template <typename P>
  static bool WaitFor(P done, int ms = 20000) {
    for (int i = 0; i < ms / 10; ++i) {
      if (done()) return true;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }

  QString openAnswer;
  std::vector<QString> openTitles, openFilters;
};

TEST_F(FlowTest, OpeningSetsTheBarsSpinEditsAndScale) {
  Tfrmmain w;
  QSignalSpy high(w.barhighcut, &QSlider::valueChanged), low(w.barlowcut, &QSlider::valueChanged);
  openAnswer = F("ref.wav");
  w.btnselect->click();
  ASSERT_EQ(openTitles.size(), 1u);
  EXPECT_EQ(openTitles[0], "Select a file to play");
  EXPECT_TRUE(openFilters[0].startsWith("All Support Files (*.mp3 *.mp2"));
  EXPECT_EQ(w.sEdit1->text(), openAnswer);
  EXPECT_NE(playStream.load(), 0u);
  EXPECT_EQ(w.barhighcut->maximum(), 22050);
  EXPECT_EQ(w.barhighcut->value(), 11025);
  EXPECT_EQ(w.barlowcut->value(), 22050);
  EXPECT_EQ(high.count(), 1);
  EXPECT_EQ(low.count(), 1);
  EXPECT_EQ(w.barhighcut->toolTip(), "22050 Hz");  // the cut-off the filter really uses
  EXPECT_EQ(w.sedit->maximum(), 10);
  EXPECT_EQ(w.bytesPerPixel.load(), 3528u);  // 10 s is shorter than 537 columns of 0.02 s
  EXPECT_TRUE(w.PB->isEnabled());
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  // The scan fills the columns.
  ASSERT_TRUE(WaitFor([&] { return w.peaks.left(400) != 0; }));
  EXPECT_EQ(w.peaks.left(0), 0);

  // An 8000 Hz file pulls the high-pass bar to 4000 first, then to 2000.
  high.clear();
  low.clear();
  openAnswer = F("8k.wav");
  w.btnselect->click();
  EXPECT_EQ(w.barhighcut->value(), 2000);
  EXPECT_EQ(w.barlowcut->value(), 4000);
  EXPECT_EQ(high.count(), 2);
  EXPECT_EQ(low.count(), 1);

  openAnswer = F("sec53_9.ogg");
  w.btnselect->click();
  EXPECT_EQ(w.sedit->maximum(), 53);
  EXPECT_EQ(w.eedit->maximum(), 53);
  openAnswer = F("sec60.wav");
  w.btnselect->click();
  // The file spans the view's 520 pixels: its end falls on the last one.
  EXPECT_EQ(w.bytesPerPixel.load(), static_cast<uint32_t>((2646000LL * 4 + 518) / 519));
}

TEST_F(FlowTest, DropsTakeTheFirstAcceptedPathAndAFailedOpenStopsTheOldOne) {
  Tfrmmain w;
  w.show();
  w.audiodropDrop({F("ref.wav"), F("mono.wav"), F("8k.wav")});
  EXPECT_EQ(w.sEdit1->text(), F("ref.wav"));
  const audio::Handle first = playStream.load();
  ASSERT_NE(first, 0u);
  w.audiodropDrop({F("notes.txt")});
  EXPECT_EQ(playStream.load(), first);
  // Every name the dialog offers is taken by a drop too: an AIFF named .aif, an Ogg stream named
  // .oga, a ringtone this program wrote.
  for (const auto& [fixture, name] : {std::pair{"ref.aiff", "track.aif"}, {"ref.ogg", "sound.oga"},
                                      {"ref.m4a", "bell.m4r"}}) {
    const QString copy = QString::fromStdString(::testing::TempDir()) + name;
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(F(fixture), copy));
    w.audiodropDrop({copy});
    EXPECT_EQ(w.sEdit1->text(), copy);
    EXPECT_NE(playStream.load(), 0u) << name;
    EXPECT_EQ(w.sedit->maximum(), 10) << name;
    QFile::remove(copy);
  }
  // A file that does not open: the old preview is stopped and freed, its path is shown, and a
  // message says why.
  ASSERT_TRUE(messages.empty());
  w.audiodropDrop({F("random.mp3")});
  EXPECT_EQ(playStream.load(), 0u);
  EXPECT_EQ(w.sEdit1->text(), F("random.mp3"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Tonewright cannot open this file.\n\n" + F("random.mp3") +
                                  ": is not a sound or video file Tonewright can read");
  EXPECT_EQ(audio::ChannelIsActive(first), audio::ACTIVE_STOPPED);
  EXPECT_FALSE(audio::StreamFree(first));
  EXPECT_EQ(w.lengthedit->text(), "0 Sec");
  EXPECT_FALSE(w.btnconvert->isEnabled());
}

TEST_F(FlowTest, NothingOfTheEarlierFileOutlivesTheNextLoad) {
  Tfrmmain w;
  w.show();
  openAnswer = F("sec60.wav");
  w.btnselect->click();
  ASSERT_TRUE(WaitFor([&] { return !w.loader.scanning(); }));
  ASSERT_NE(w.peaks.left(519), 0);
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(100, 70));
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(300, 70));
  ASSERT_NE(selEnd.load(), 0);

  // A file that fails: no bounds, no bars, no scale, and the view takes no clicks.
  openAnswer = F("random.mp3");
  w.btnselect->click();
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(selEnd.load(), 0);
  EXPECT_EQ(w.bytesPerPixel.load(), 0u);
  EXPECT_EQ(w.peaks.left(100), 0);
  EXPECT_FALSE(w.PB->isEnabled());
  w.PBMouseDown(Qt::LeftButton, QPoint(50, 70));
  w.PBMouseDown(Qt::RightButton, QPoint(80, 70));
  w.PBMouseUp();
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(selEnd.load(), 0);
  EXPECT_EQ(w.sedit->value(), 0);
  EXPECT_EQ(w.lengthedit->text(), "0 Sec");

  // A shorter file: its scan leaves the columns it does not reach empty.
  openAnswer = F("ref.wav");
  w.btnselect->click();
  EXPECT_TRUE(w.PB->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return !w.loader.scanning(); }));
  EXPECT_NE(w.peaks.left(400), 0);
  EXPECT_EQ(w.peaks.left(536), 0) << "the earlier song's bars are still there";
  EXPECT_EQ(selStart.load(), 0);
  EXPECT_EQ(selEnd.load(), 0);
}

// A drag of `urls` offering `actions`, sent to `target` as the desktop would.
bool Dropped(QWidget* target, const QList<QUrl>& urls, Qt::DropActions actions, Qt::DropAction* taken = nullptr) {
  QMimeData data;
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  if (taken) *taken = drop.dropAction();
  return drop.isAccepted();
}

TEST_F(FlowTest, DropsAreCopiesOfLocalFilesAnywhereOnTheWindow) {
  Tfrmmain w;
  w.show();
  const QUrl ref = QUrl::fromLocalFile(F("ref.wav"));
  // Offered only as a move, a drop is refused: the source file must never be deleted.
  EXPECT_FALSE(Dropped(w.sEdit1, {ref}, Qt::MoveAction));
  EXPECT_EQ(playStream.load(), 0u);
  Qt::DropAction taken = Qt::IgnoreAction;
  ASSERT_TRUE(Dropped(w.sEdit1, {ref}, Qt::CopyAction | Qt::MoveAction, &taken));
  EXPECT_EQ(taken, Qt::CopyAction);
  EXPECT_EQ(w.sEdit1->text(), F("ref.wav"));
  // A first item that is no local file: the drop is ignored, not passed to the second item.
  const audio::Handle first = playStream.load();
  Dropped(w.sEdit1, {QUrl("https://example.org/a.mp3"), QUrl::fromLocalFile(F("8k.wav"))}, Qt::CopyAction);
  EXPECT_EQ(playStream.load(), first);
  // The waveform view and a tag box take a dropped file as the input box does; text never lands
  // in a tag box.
  ASSERT_TRUE(Dropped(w.PB, {QUrl::fromLocalFile(F("8k.wav"))}, Qt::LinkAction, &taken));
  EXPECT_EQ(taken, Qt::LinkAction);
  EXPECT_EQ(w.sEdit1->text(), F("8k.wav"));
  ASSERT_TRUE(Dropped(w.titedit, {QUrl::fromLocalFile(F("mono.wav"))}, Qt::CopyAction));
  EXPECT_EQ(w.sEdit1->text(), F("mono.wav"));
  EXPECT_TRUE(w.titedit->text().isEmpty());
  for (QWidget* box : {static_cast<QWidget*>(w.titedit), static_cast<QWidget*>(w.artedit),
                       static_cast<QWidget*>(w.albedit), static_cast<QWidget*>(w.genedit),
                       static_cast<QWidget*>(w.yearedit), static_cast<QWidget*>(w.outedit)})
    EXPECT_FALSE(box->acceptDrops()) << box->objectName().toStdString();
  // The drop rules of the input box hold everywhere: a drag whose first item has a name outside
  // the list is refused as it enters, with no accepting cursor, and changes nothing.
  const audio::Handle playing = playStream.load();
  QMimeData text;
  text.setUrls({QUrl::fromLocalFile(F("notes.txt")), ref});
  for (QWidget* target : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.sEdit1)}) {
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDragMoveEvent move(target->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    EXPECT_FALSE(move.isAccepted());
  }
  EXPECT_FALSE(Dropped(&w, {QUrl::fromLocalFile(F("notes.txt"))}, Qt::CopyAction));
  EXPECT_EQ(playStream.load(), playing);
}

TEST_F(FlowTest, ClicksOnTheViewSetTheSelectionAndTheTransportActs) {
  Tfrmmain w;
  w.show();
  openAnswer = F("sec60.wav");
  w.btnselect->click();
  const uint32_t bpp = w.bytesPerPixel.load();
  QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(300, 70));
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(100, 70));
  EXPECT_EQ(selStart.load(), int64_t{100} * bpp);
  EXPECT_EQ(selEnd.load(), int64_t{300} * bpp);
  EXPECT_EQ(w.sedit->value(), static_cast<int>(100LL * bpp / 176400));
  EXPECT_EQ(w.eedit->value(), static_cast<int>(300LL * bpp / 176400));
  EXPECT_TRUE(w.btnconvert->isEnabled());
  EXPECT_EQ(w.lengthedit->text(), QString::fromStdString(wave::SecondsText(200.0 * bpp / 176400)) + " sec");
  // The view shows the selection in navy once the scan has reached it.
  ASSERT_TRUE(WaitFor([&] { return w.peaks.left(200) != 0; }));
  w.Timer1Timer();
  EXPECT_EQ(w.waveBitmap.pixel(200, 73) | 0xFF000000u, wave::colors::kSelected);

  // Transport: pause, play resumes; stop rewinds and resets the played colouring.
  w.btnpause->click();
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PAUSED);
  w.btnplay->click();
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  w.btnstop->click();
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_STOPPED);
  EXPECT_EQ(w.view->playColumn(), 0);
  EXPECT_EQ(audio::ChannelGetPosition(playStream.load(), audio::POS_BYTE), 0);
  w.btnplay->click();
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
}

TEST_F(FlowTest, PlayWithAnEmptyInputBoxOffersTheDialog) {
  Tfrmmain w;
  w.btnplay->click();
  EXPECT_EQ(openTitles.size(), 1u);
  EXPECT_EQ(playStream.load(), 0u);
}

TEST_F(FlowTest, ConvertWritesTheRingtoneAndOpensTheFolder) {
  // The encoder is found beside the running program first, then on PATH.
  const std::string path = std::string(TW_PROGRAM_DIR) + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "");
  setenv("PATH", path.c_str(), 1);
  Tfrmmain w;
  openAnswer = F("ref.wav");
  w.btnselect->click();
  w.sedit->setValue(2);
  w.eedit->setValue(7);
  selStart = 2 * 176400;
  selEnd = 7 * 176400;
  w.btnconvert->setEnabled(true);
  w.autocheck->setChecked(true);
  w.tagcheck->setChecked(true);
  w.titedit->setText("My Bell");
  w.btnconvert->click();
  EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
  const std::string out = w.outedit->text().toStdString();
  ASSERT_TRUE(std::filesystem::exists(out)) << out;
  EXPECT_GT(std::filesystem::file_size(out), 10000u);
  EXPECT_EQ(w.onebar->value(), 100);
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0].toLocalFile(), w.outputDir);

  // A file that no longer opens: "Error creating stream!".
  w.sEdit1->setText(F("random.mp3"));
  w.btnconvert->click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error creating stream!");
  EXPECT_EQ(messages[0].title, "Error");
}

}  // namespace
