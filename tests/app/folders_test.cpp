// The working folders and the path operations under them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "app/Folders.h"
#include "app_test_support.h"

namespace {

using app::DataFolderIn;
using app::ForceFolderChain;
using app::OutputFolderOf;
using app::PathHead;
using app::SetTrailingSeparator;

bool WriteFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

TEST(SetTrailingSeparator, AddsOrRemovesExactlyOne) {
  EXPECT_EQ(SetTrailingSeparator("", true), "");
  EXPECT_EQ(SetTrailingSeparator("", false), "");
  EXPECT_EQ(SetTrailingSeparator("/a", true), "/a/");
  EXPECT_EQ(SetTrailingSeparator("/a/", true), "/a/");
  EXPECT_EQ(SetTrailingSeparator("/a", false), "/a");
  EXPECT_EQ(SetTrailingSeparator("/a/", false), "/a");
  // Of two trailing separators only one goes.
  EXPECT_EQ(SetTrailingSeparator("/a//", false), "/a/");
  EXPECT_EQ(SetTrailingSeparator("/", false), "");
  EXPECT_EQ(SetTrailingSeparator("a\\", true), "a\\/") << "a backslash is an ordinary character here";
}

TEST(PathHead, TakesIndexPlusOneComponents) {
  EXPECT_EQ(PathHead(0, "a/b/c/"), "a/");
  EXPECT_EQ(PathHead(1, "a/b/c/"), "a/b/");
  EXPECT_EQ(PathHead(2, "a/b/c/"), "a/b/c/");
  EXPECT_EQ(PathHead(3, "a/b/c/"), "");
  EXPECT_EQ(PathHead(-1, "a/b/c/"), "");
  EXPECT_EQ(PathHead(0, ""), "");
  // A last component without its separator does not count, and then the whole result is empty.
  EXPECT_EQ(PathHead(1, "a/b"), "");
  EXPECT_EQ(PathHead(0, "a/b"), "a/");
  EXPECT_EQ(PathHead(0, "/a/"), "/");
}

class ForceFolderChainTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
  QString At(const QString& rest) const { return tmp.path() + "/" + rest; }
  QTemporaryDir tmp;
};

TEST_F(ForceFolderChainTest, CreatesOnlyTheMissingLowerLevels) {
  ASSERT_TRUE(QDir().mkdir(At("up")));
  ASSERT_TRUE(WriteFile(At("up/keep.txt")));
  EXPECT_TRUE(ForceFolderChain(At("up/a/b/c/")));
  EXPECT_TRUE(QFileInfo(At("up/a/b/c")).isDir());
  EXPECT_TRUE(QFileInfo::exists(At("up/keep.txt"))) << "an existing level is passed over untouched";
  // The same chain again, and a path given without its trailing separator.
  EXPECT_TRUE(ForceFolderChain(At("up/a/b/c/")));
  EXPECT_TRUE(ForceFolderChain(At("up/a/d")));
  EXPECT_TRUE(QFileInfo(At("up/a/d")).isDir());
}

TEST_F(ForceFolderChainTest, ALevelThatCannotBeCreatedStopsTheChainAndKeepsTheLevelsAbove) {
  // A file where a folder of the chain should be: that level cannot be created.
  ASSERT_TRUE(QDir().mkpath(At("x/y")));
  ASSERT_TRUE(WriteFile(At("x/y/blocker")));
  EXPECT_FALSE(ForceFolderChain(At("x/y/blocker/z/w/")));
  EXPECT_TRUE(QFileInfo(At("x/y")).isDir()) << "levels above the failing one stay";
  EXPECT_TRUE(QFileInfo(At("x/y/blocker")).isFile()) << "the file in the way is left alone";
  EXPECT_FALSE(QFileInfo::exists(At("x/y/blocker/z")));

  // Levels the failing call created itself stay as well: new1 and new2 are made, then the chain
  // climbs back up and meets the file.
  EXPECT_FALSE(ForceFolderChain(At("x/new1/new2/../../y/blocker/z/")));
  EXPECT_TRUE(QFileInfo(At("x/new1/new2")).isDir());
}

TEST_F(ForceFolderChainTest, RelativeEmptyAndRootPathsCreateNothing) {
  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(tmp.path()));
  EXPECT_FALSE(ForceFolderChain("a/b/"));
  EXPECT_FALSE(ForceFolderChain("a"));
  EXPECT_FALSE(ForceFolderChain("./a/"));
  EXPECT_FALSE(ForceFolderChain(""));
  EXPECT_FALSE(ForceFolderChain("/"));
  QDir::setCurrent(saved);
  EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST(DataFolder, IsTheDocumentsFolderOrElseHomeWithTheProgramsSubfolders) {
  EXPECT_EQ(DataFolderIn("/home/u/Documents", "/home/u"), "/home/u/Documents/OmbrixDVD/Tonewright/");
  EXPECT_EQ(DataFolderIn("/home/u/Documents/", "/home/u"), "/home/u/Documents/OmbrixDVD/Tonewright/");
  EXPECT_EQ(DataFolderIn("", "/home/u"), "/home/u/OmbrixDVD/Tonewright/");
  EXPECT_EQ(DataFolderIn("/", "/home/u"), "/OmbrixDVD/Tonewright/");
  EXPECT_EQ(OutputFolderOf("/home/u/Documents/OmbrixDVD/Tonewright/"),
            "/home/u/Documents/OmbrixDVD/Tonewright/output/");
}

class DocumentsFolderTest : public apptest::WindowTest {};

TEST_F(DocumentsFolderTest, FollowsTheXdgDocumentsDirectory) {
  EXPECT_EQ(app::GetDocumentsFolder(), home.path() + "/Documents") << "no user-dirs.dirs: ~/Documents";
  ASSERT_TRUE(QDir().mkpath(home.path() + "/.config"));
  QFile dirs(home.path() + "/.config/user-dirs.dirs");
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  dirs.close();
  EXPECT_EQ(app::GetDocumentsFolder(), home.path() + "/Papers");
}

TEST(ProgramFolder, IsTheResolvedFolderOfTheRunningProgram) {
  apptest::App();
  const QString folder = app::ProgramFolder();
  ASSERT_TRUE(folder.endsWith('/'));
  EXPECT_TRUE(QDir::isAbsolutePath(folder));
  EXPECT_TRUE(QFileInfo::exists(folder + QFileInfo(QCoreApplication::applicationFilePath()).fileName()));

  // Started through a symbolic link in another folder, the program still names its own folder.
  QTemporaryDir links;
  ASSERT_TRUE(links.isValid());
  const QString probe = QStringLiteral(TW_VERSION_PROBE);
  const QString link = links.path() + "/probe-link";
  ASSERT_TRUE(QFile::link(probe, link));
  QProcess p;
  p.start(link, {"--print-program-folder"});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed(),
            QFileInfo(probe).canonicalPath() + "/");
}

}  // namespace
