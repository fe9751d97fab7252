// Extensions, the opener table and the names the drop and the dialog accept.
#include <gtest/gtest.h>

#include <string>

#include "source/openers.h"

namespace {

using source::LowerExtension;

TEST(LowerExtension, TakesTheLastDotOfTheFileNameOnly) {
  EXPECT_EQ(LowerExtension("/music/song.MP3"), ".mp3");
  EXPECT_EQ(LowerExtension("/music/Book.Part1.M4B"), ".m4b");
  EXPECT_EQ(LowerExtension("/music.d/song"), "");  // the dot of a folder is no extension
  EXPECT_EQ(LowerExtension("song."), ".");
  EXPECT_EQ(LowerExtension(""), "");
  EXPECT_EQ(LowerExtension("/a/.hidden"), ".hidden");
  // Only A–Z are lower-cased: other letters stay as they are.
  EXPECT_EQ(LowerExtension("/a/b.ÄAC"), ".Äac");
}

TEST(Openers, ConversionDiffersFromThePreviewOnlyForAc3) {
  for (const char* ext : {".wma", ".ape", ".aac", ".mp4", ".m4a", ".m4b", ".alac", ".mpc", ".mpp",
                          ".mp+", ".flac", ".fla", ".mp3", ".ogg", ".wav", "", ".xm"}) {
    EXPECT_EQ(source::SourceOpener(ext), source::RenderOpener(ext)) << ext;
  }
  EXPECT_EQ(source::SourceOpener(".ac3"), source::SourceOpener(".mp3"));
  EXPECT_NE(source::RenderOpener(".ac3"), source::SourceOpener(".ac3"));
  // Case is the caller's business: the table compares exactly.
  EXPECT_EQ(source::SourceOpener(".M4A"), source::SourceOpener(".mp3"));
}

TEST(DropList, DiffersFromTheDialogWhereTheyDisagree) {
  EXPECT_EQ(source::DropExtensions().size(), 24u);
  EXPECT_TRUE(source::IsDropAccepted("/x/song.MP3"));
  EXPECT_TRUE(source::IsDropAccepted("/x/track.aiff"));
  EXPECT_TRUE(source::IsDropAccepted("/x/book.m4b"));
  EXPECT_TRUE(source::IsDropAccepted("/x/a.mp+"));
  EXPECT_FALSE(source::IsDropAccepted("/x/track.aif"));
  EXPECT_FALSE(source::IsDropAccepted("/x/track.AIF"));
  EXPECT_FALSE(source::IsDropAccepted("/x/a.alac"));
  EXPECT_FALSE(source::IsDropAccepted("/x/a.mo3"));
  EXPECT_FALSE(source::IsDropAccepted("/x/notes.txt"));
  EXPECT_FALSE(source::IsDropAccepted("/x/noextension"));
  const std::string patterns = source::kOpenFilterPatterns;
  EXPECT_NE(patterns.find("*.aif;"), std::string::npos);
  EXPECT_NE(patterns.find("*.alac;"), std::string::npos);
  EXPECT_EQ(patterns.find("*.aiff"), std::string::npos);
  EXPECT_EQ(std::count(patterns.begin(), patterns.end(), '*'), 22);
}

}  // namespace
