// The about box and the help page.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/LinkLabel.h"
#include "app/Tfrmabout.h"
#include "app/Tfrmmain.h"
#include "app_test_support.h"

namespace {

class AboutHelpTest : public apptest::WindowTest {};

// What a test saw of one about box while it was open.
struct Seen {
  QPointer<Tfrmabout> box;
  QString title;
  QSize size;
  bool modal = false;
  QStringList texts;
};

// Clicks "Ok" of the about box once it is up, recording it first.
void CloseAboutWhenShown(Seen& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<Tfrmabout*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    seen.box = box;
    seen.title = box->windowTitle();
    seen.size = box->size();
    seen.modal = box->isModal();
    for (QLabel* label : box->findChildren<QLabel*>()) seen.texts << label->text();
    QTest::mouseClick(box->sButton1, Qt::LeftButton);
  });
}

TEST_F(AboutHelpTest, TheAboutBoxOpensAFreshBoxEachTime) {
  Tfrmmain w;
  Seen first;
  Seen second;
  CloseAboutWhenShown(first);
  w.btnabout->click();
  ASSERT_FALSE(first.title.isEmpty()) << "the box was shown";
  EXPECT_TRUE(first.box.isNull()) << "and freed when it closed";
  CloseAboutWhenShown(second);
  w.btnaboutClick();
  ASSERT_FALSE(second.title.isEmpty());
  EXPECT_TRUE(second.box.isNull());

  EXPECT_EQ(first.title, "About Ombrix Tonewright");
  EXPECT_EQ(first.size, QSize(359, 212));
  EXPECT_TRUE(first.modal);
  EXPECT_TRUE(first.texts.contains("Version:1.00"));
  EXPECT_TRUE(first.texts.contains(QString::fromUtf8("\xc2\xa9 2026 Ombrix Tonewright")));
  EXPECT_TRUE(first.texts.contains("https://www.tonewright.example/"));
  EXPECT_TRUE(first.texts.contains("support@tonewright.example"));
  EXPECT_EQ(first.texts, second.texts);
  EXPECT_TRUE(w.findChildren<Tfrmabout*>().isEmpty());
}

TEST_F(AboutHelpTest, ControlsSitWhereTheyBelong) {
  Tfrmabout box;
  const struct {
    const char* name;
    QPoint at;
  } places[] = {{"Image2", {16, 8}},   {"sLabelFX1", {80, 8}}, {"sLabel1", {80, 43}},  {"sLabel6", {81, 66}},
                {"Image1", {279, 34}}, {"sLabel3", {16, 91}},  {"sLabel7", {16, 161}}, {"Label8", {81, 159}},
                {"sLabel8", {16, 185}}, {"Label9", {80, 183}}, {"sButton1", {286, 171}}};
  for (const auto& place : places) {
    auto* control = box.findChild<QWidget*>(place.name);
    ASSERT_NE(control, nullptr) << place.name;
    EXPECT_EQ(control->pos(), place.at) << place.name;
    EXPECT_TRUE(box.rect().contains(control->geometry())) << place.name << " fits in the box";
  }
  EXPECT_EQ(box.sButton1->size(), QSize(65, 25));
  EXPECT_EQ(box.sButton1->text(), "&Ok");
  EXPECT_EQ(box.Image1->pixmap().size(), QSize(48, 48));
  EXPECT_EQ(box.Image2->pixmap().size(), QSize(48, 48));
  EXPECT_EQ(box.sLabelFX1->text(), "Ombrix Tonewright");
  EXPECT_EQ(box.sLabel3->text(),
            "Convert popular audio formats including WAV,MP3 WMA,OGG,APE,\n"
            "FLAC,WavPack,MPC,AAC,MP4 to iPhone Ringtong file M4R.");
  EXPECT_EQ(box.Label8->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(box.Label8->font().underline());
}

TEST_F(AboutHelpTest, TheLinksOpenTheSiteAndAMail) {
  Tfrmabout box;
  box.show();
  QTest::mouseClick(box.Label8, Qt::LeftButton);
  QTest::mouseClick(box.Label9, Qt::LeftButton);
  QTest::mouseClick(box.Label9, Qt::RightButton);
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0], QUrl("https://www.tonewright.example/"));
  EXPECT_EQ(urls[1], QUrl("mailto:support@tonewright.example"));
}

TEST_F(AboutHelpTest, HelpOpensThePageBesideTheProgramWhateverTheCurrentFolder) {
  Tfrmmain w;
  const QString saved = QDir::currentPath();
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
  w.btnhelp->click();
  QDir::setCurrent(saved);
  w.btnhelpClick();
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0], QUrl::fromLocalFile(programFolder + "tonehelp.html"));
  EXPECT_EQ(urls[1], urls[0]);
  EXPECT_TRUE(QFileInfo::exists(urls[0].toLocalFile())) << "the build puts the page beside the program";
}

}  // namespace
