// The files the build places beside the program, checked with independent tools where we can.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStringList>

#include "app/ImageList.h"
#include "app_test_support.h"
#include "source/input_choice.h"
#include "support/command.h"

namespace {

const QString kProgramDir = QStringLiteral(TW_PROGRAM_DIR "/");

QString Probe(const QStringList& args) {
  QProcess p;
  p.start("ffprobe", QStringList{"-v", "error"} + args);
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

TEST(ProgramFiles, BackgroundIsA520By148Bitmap) {
  const QString path = kProgramDir + "back.bmp";
  ASSERT_TRUE(QFileInfo::exists(path));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.read(2), "BM");
  EXPECT_EQ(Probe({"-select_streams", "v:0", "-show_entries", "stream=codec_name,width,height", "-of", "csv=p=0",
                   path}),
            "bmp,520,148");
  // Dark, and not flat: a gradient and a grid that the bars are drawn over.
  QImage back(path);
  ASSERT_EQ(back.size(), QSize(520, 148));
  int brightest = 0;
  int darkest = 255;
  for (int y = 0; y < back.height(); ++y) {
    for (int x = 0; x < back.width(); ++x) {
      const int v = qGray(back.pixel(x, y));
      brightest = std::max(brightest, v);
      darkest = std::min(darkest, v);
    }
  }
  EXPECT_LT(brightest, 140) << "the green, red and white of the bars stand out";
  EXPECT_GT(brightest - darkest, 20);
}

TEST(ProgramFiles, DemoTuneIsAboutThirtySecondsOfStereoVorbis) {
  const QString path = kProgramDir + "demo.ogg";
  ASSERT_TRUE(QFileInfo::exists(path));
  EXPECT_EQ(Probe({"-select_streams", "a:0", "-show_entries", "stream=codec_name,channels,sample_rate", "-of",
                   "csv=p=0", path}),
            "vorbis,44100,2");
  const double seconds = Probe({"-show_entries", "format=duration", "-of", "csv=p=0", path}).toDouble();
  EXPECT_NEAR(seconds, 30.0, 1.0);
}

// The desktop entry passes the desktop's own validator, takes a file for "Open With", and names a
// MIME type for every extension a drop opens that the desktop's MIME database knows as audio.
TEST(ProgramFiles, DesktopEntryOffersTheProgramForTheAudioItOpens) {
  const std::string entryPath = TW_SOURCE_DIR "/data/tonewright.desktop";
  const std::string validated = twtest::CommandOutput("desktop-file-validate '" + entryPath + "' 2>&1; echo rc=$?");
  EXPECT_EQ(validated, "rc=0\n");
  QFile f(QString::fromStdString(entryPath));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString entry = QString::fromUtf8(f.readAll());
  EXPECT_TRUE(entry.contains("\nExec=tonewright %f\n"));
  const qsizetype at = entry.indexOf("\nMimeType=");
  ASSERT_GE(at, 0);
  const QStringList types = entry.mid(at + 10, entry.indexOf('\n', at + 1) - at - 10).split(';', Qt::SkipEmptyParts);
  QFile globs("/usr/share/mime/globs");
  ASSERT_TRUE(globs.open(QIODevice::ReadOnly)) << "shared-mime-info is missing";
  const QStringList lines = QString::fromUtf8(globs.readAll()).split('\n');
  for (const std::string_view ext : source::AcceptedExtensions()) {
    QStringList audio;
    for (const QString& line : lines) {
      if (line.endsWith(":*" + QString::fromLatin1(ext.data(), static_cast<qsizetype>(ext.size()))) &&
          line.startsWith("audio/"))
        audio << line.section(':', 0, 0);
    }
    if (audio.isEmpty()) continue;  // no audio type known for it here
    bool named = false;
    for (const QString& type : audio) named = named || types.contains(type);
    EXPECT_TRUE(named) << ext << " (" << audio.join(' ').toStdString() << ")";
  }
  // And the other way round: a file of a listed type that "Open With" hands over opens, whatever
  // name of the type it has (*.ass, which this database also gives audio/aac, names subtitles).
  for (const QString& line : lines) {
    const QString type = line.section(':', -2, -2), glob = line.section(':', -1);
    if (!types.contains(type) || !glob.startsWith("*.") || glob == "*.ass") continue;
    EXPECT_TRUE(source::IsAcceptedName(("/x/a" + glob.mid(1)).toStdString())) << glob.toStdString();
  }
}

TEST(ProgramFiles, HelpPageIsBesideTheProgram) {
  QFile f(kProgramDir + "tonehelp.html");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString page = QString::fromUtf8(f.readAll());
  EXPECT_TRUE(page.contains("<title>"));
  for (const char* word : {"Select", "Get", "Ringtong", "Set Outfile Name", "demo.ogg", ".m4r", "Use as Ringtone",
                           "30 seconds", "40 seconds", "<kbd>Space</kbd> plays and pauses"}) {
    EXPECT_TRUE(page.contains(word)) << word;
  }
}

TEST(Pictures, FourDistinctPicturesOf32Pixels) {
  apptest::App();
  const std::vector<QPixmap> list = app::MakeImageList();
  ASSERT_EQ(list.size(), 4u);
  for (size_t i = 0; i < list.size(); ++i) {
    const QImage a = list[i].toImage();
    EXPECT_EQ(a.size(), QSize(32, 32));
    EXPECT_TRUE(a.hasAlphaChannel());
    EXPECT_EQ(qAlpha(a.pixel(0, 0)), 0) << "a transparent corner";
    int opaque = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) opaque += qAlpha(a.pixel(x, y)) > 128;
    }
    EXPECT_GT(opaque, 60) << "picture " << i << " draws something";
    for (size_t j = 0; j < i; ++j) EXPECT_NE(a, list[j].toImage()) << i << " vs " << j;
  }
  EXPECT_EQ(app::DrawEmblem().size(), QSize(48, 48));
  EXPECT_EQ(app::DrawRingingPhone().size(), QSize(48, 48));
}

}  // namespace
