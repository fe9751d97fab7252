// Conversions through the real window, with the real encoder, while the user goes on using the
// window: closing it cancels the conversion (the encoder ends, no partial ringtone is left, the
// window closes afterwards); a second click on the convert button does nothing; opening another
// file leaves the running conversion alone, which writes the same ringtone as an undisturbed one.
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/ButtonSpinEdit.h"
#include "app/PaintBox.h"
#include "app/Tfrmmain.h"
#include "window_probe.h"
#include "support/command.h"

namespace {

using apptest::WaitFor;

// The encoder programs this process has started and that still exist (zombies included).
int EncoderChildren() {
  int n = 0;
  const std::string self = std::to_string(getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!stat || !std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    const auto open = line.find('(');
    if (close == std::string::npos || open == std::string::npos) continue;
    const std::string name = line.substr(open + 1, close - open - 1);
    char state = 0;
    long ppid = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) != 2) continue;
    if (std::to_string(ppid) == self && name == "faac") ++n;
  }
  return n;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// ffprobe's view of a file: "codec,rate,channels" of its audio stream and its duration.
std::string Probe(const std::string& path, const char* entries) {
  const std::string cmd = "ffprobe -v error -select_streams a:0 -show_entries " + std::string(entries) +
                          " -of csv=p=0 '" + path + "' 2>/dev/null";
  std::string out = twtest::CommandOutput(cmd);
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

class ConvertWindowTest : public apptest::PlayerWindowTest {
 protected:
  void SetUp() override {
    PlayerWindowTest::SetUp();
    // The encoder is found beside the running program.
    const char* old = std::getenv("PATH");
    const std::string path = std::string(TW_PROGRAM_DIR) + ":" + (old ? old : "");
    setenv("PATH", path.c_str(), 1);
  }
  // sec60.wav with a selection of about 2.08 s to 22.08 s: a 20.0-s ringtone.
  void OpenAndSelect(Tfrmmain& w) {
    w.show();
    openAnswer = F("sec60.wav");
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    ASSERT_NE(playStream.load(), 0u);
    QTest::mouseClick(w.PB, Qt::LeftButton, {}, QPoint(18, 70));
    QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(191, 70));
    ASSERT_EQ(w.sedit->value(), 2);
    ASSERT_EQ(w.eedit->value(), 22);
    ASSERT_TRUE(w.btnconvert->isEnabled());
  }
  // The output file, chosen through the save dialog.
  std::string ChooseOutput(Tfrmmain& w, const char* name) {
    dialogAnswer = home.path() + "/" + name;
    QTest::mouseClick(w.sButton1, Qt::LeftButton);
    return w.outedit->text().toStdString();
  }
  // Runs `act` once from the window's event loop during the conversion, when the gauge has
  // reached `percent`.
  void During(Tfrmmain& w, int percent, std::function<void()> act) {
    auto* timer = new QTimer(&w);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, &w, [&w, timer, percent, act] {
      if (!w.converter.running() || w.onebar->value() < percent) return;
      timer->stop();
      act();
    });
    timer->start();
  }
};

TEST_F(ConvertWindowTest, LengthsAnIPhoneRefusesAreShownAndAskedAbout) {
  Tfrmmain w;
  OpenAndSelect(w);
  EXPECT_TRUE(w.lengthedit->property("phoneFit").toString().isEmpty());
  EXPECT_TRUE(w.lengthedit->toolTip().isEmpty());
  const QColor plain = w.lengthedit->palette().color(QPalette::Base);
  // 2.08 s to 35.03 s: too long to set on the phone, short enough to sync.
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(303, 70));
  ASSERT_EQ(w.eedit->value() - w.sedit->value(), 33);
  EXPECT_EQ(w.lengthedit->property("phoneFit").toString(), "phone");
  EXPECT_NE(w.lengthedit->palette().color(QPalette::Base), plain) << "the box's colour says so at a glance";
  EXPECT_TRUE(w.lengthedit->toolTip().contains("30 seconds") && w.lengthedit->toolTip().contains("40 seconds"))
      << w.lengthedit->toolTip().toStdString();
  // 2.08 s to 47.05 s: no route takes it; the conversion asks first, with the length the box
  // shows and the ringtone has (44.9 s), not the spin edits' difference (45 s).
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(407, 70));
  ASSERT_EQ(w.eedit->value() - w.sedit->value(), 45);
  EXPECT_EQ(w.lengthedit->text(), "44.9 sec");
  EXPECT_EQ(w.lengthedit->property("phoneFit").toString(), "sync");
  QStringList questions;
  bool answer = false;
  app::hooks().question = [&](QWidget*, const QString&, const QString& text) {
    questions << text;
    return answer;
  };
  const std::string out = ChooseOutput(w, "long.m4r");
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains("44.9 seconds") && questions[0].contains("40 seconds")) << questions[0].toStdString();
  EXPECT_FALSE(std::filesystem::exists(out)) << "cancelling changes nothing";
  EXPECT_EQ(w.onebar->value(), 0);
  answer = true;
  // A click while it runs changes nothing and asks nothing.
  bool clickedDuring = false;
  During(w, 10, [&] {
    QTest::mouseClick(w.btnconvert, Qt::LeftButton);
    clickedDuring = true;
  });
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  ASSERT_TRUE(clickedDuring) << "the conversion ended before the second click";
  EXPECT_EQ(questions.size(), 2);
  EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
  EXPECT_NEAR(std::stod(Probe(out, "format=duration")), w.selection.LengthTime(), 0.03);
  // Back under 30 s: plain again, and no question.
  QTest::mouseClick(w.PB, Qt::RightButton, {}, QPoint(200, 70));
  EXPECT_TRUE(w.lengthedit->property("phoneFit").toString().isEmpty());
  EXPECT_EQ(w.lengthedit->palette().color(QPalette::Base), plain);
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  EXPECT_EQ(questions.size(), 2);
}

TEST_F(ConvertWindowTest, ClosingTheWindowCancelsTheConversionAndThenCloses) {
  Tfrmmain w;
  OpenAndSelect(w);
  const std::string out = ChooseOutput(w, "closed.m4r");
  ASSERT_FALSE(std::filesystem::exists(out));
  audio::EncoderHandle encoder = 0;
  int runningEncoders = -1;
  bool visibleAfterClose = false;
  During(w, 10, [&] {
    encoder = w.converter.encoderHandle();
    runningEncoders = EncoderChildren();
    w.close();
    visibleAfterClose = w.isVisible();
  });
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  ASSERT_NE(encoder, 0u) << "the conversion ended before the window was closed";
  EXPECT_EQ(runningEncoders, 1);
  EXPECT_TRUE(visibleAfterClose);  // the window waits for the conversion to end
  EXPECT_FALSE(w.converter.running());
  EXPECT_EQ(audio::Encode_IsActive(encoder), 0u);
  EXPECT_EQ(EncoderChildren(), 0);
  EXPECT_FALSE(std::filesystem::exists(out)) << "a partial ringtone was left";
  EXPECT_LT(w.onebar->value(), 100);
  EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
  EXPECT_TRUE(urls.empty());
  EXPECT_TRUE(WaitFor([&] { return !w.isVisible(); }, 5000)) << "the window did not close";
}

TEST_F(ConvertWindowTest, ASecondClickAndAnotherFileLeaveTheRunningConversionAlone) {
  Tfrmmain w;
  OpenAndSelect(w);
  // Effects of every kind on the conversion, so that a change of the preview's format or of its
  // controls would show in the ringtone.
  QTest::mouseClick(w.fadeoutcheck, Qt::LeftButton);
  QTest::mouseClick(w.clowpass, Qt::LeftButton);
  w.barlowcut->setValue(3000);
  QTest::mouseClick(w.checkgain, Qt::LeftButton);
  w.gaintrack->setValue(-6);

  // An undisturbed conversion first.
  const std::string reference = ChooseOutput(w, "reference.m4r");
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
  ASSERT_TRUE(std::filesystem::exists(reference));
  EXPECT_EQ(w.onebar->value(), 100);
  EXPECT_EQ(Probe(reference, "stream=codec_name,sample_rate,channels"), "aac,44100,2");
  const double seconds = std::atof(Probe(reference, "format=duration").c_str());
  EXPECT_NEAR(seconds, w.selection.LengthTime(), 0.03);

  // The same once more, clicked again in its middle and with another file opened in it.
  const std::string out = ChooseOutput(w, "disturbed.m4r");
  audio::Handle mixer = 0;
  audio::EncoderHandle encoder = 0;
  bool sameAfterClick = false;
  int encodersAfterClick = -1;
  During(w, 10, [&] {
    mixer = w.converter.renderMixer();
    encoder = w.converter.encoderHandle();
    QTest::mouseClick(w.btnconvert, Qt::LeftButton);
    sameAfterClick = w.converter.running() && w.converter.renderMixer() == mixer &&
                     w.converter.encoderHandle() == encoder && audio::Encode_IsActive(encoder) == 1;
    encodersAfterClick = EncoderChildren();
  });
  bool openedDuring = false;
  During(w, 40, [&] {
    openAnswer = F("8k.wav");
    QTest::mouseClick(w.btnselect, Qt::LeftButton);
    openedDuring = w.converter.running() && playStream.load() != 0;
    // The new file's controls move as opening sets them.
    w.barlowcut->setValue(100);
    w.gaintrack->setValue(12);
  });
  QTest::mouseClick(w.btnconvert, Qt::LeftButton);
  ASSERT_NE(mixer, 0u) << "the conversion ended before the second click";
  EXPECT_TRUE(sameAfterClick);
  EXPECT_EQ(encodersAfterClick, 1);
  EXPECT_TRUE(openedDuring);
  EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
  EXPECT_EQ(w.sEdit1->text(), F("8k.wav"));
  EXPECT_EQ(audio::ChannelIsActive(playStream.load()), audio::ACTIVE_PLAYING);
  ASSERT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(EncoderChildren(), 0);
  // The same ringtone as the undisturbed one, byte for byte.
  EXPECT_EQ(Probe(out, "stream=codec_name,sample_rate,channels"), "aac,44100,2");
  const std::string a = Bytes(reference), b = Bytes(out);
  EXPECT_GT(a.size(), 100000u);
  EXPECT_TRUE(a == b) << "the disturbed ringtone differs (" << a.size() << " vs " << b.size() << " bytes)";
}

}  // namespace
