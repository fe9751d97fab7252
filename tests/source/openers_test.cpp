// Extensions, the opener table and the names and drops the dialog and the input box accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "source/input_choice.h"
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
  // The ringtone name's rule uses the same extension.
  EXPECT_EQ(LowerExtension("/tones/bell.tar.GZ"), ".gz");
  EXPECT_EQ(LowerExtension("bell.M4r"), ".m4r");
  EXPECT_EQ(LowerExtension("/tones/bell."), ".");
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
  EXPECT_EQ(source::OpenDialogFilter().rfind("All Support Files (*.mp3 *.mp2 *.mp1 *.ogg", 0), 0u);
  EXPECT_EQ(source::OpenDialogFilter().back(), ')');
}

TEST(DropRules, TheFirstItemDecidesAndAMoveIsNeverTaken) {
  using source::DropAction;
  using source::DroppedItem;
  EXPECT_EQ(source::ChosenDropPath({{true, "/m/a.mp3"}, {true, "/m/b.ogg"}}), "/m/a.mp3");
  // Later items never stand in for a first one that cannot be opened.
  EXPECT_EQ(source::ChosenDropPath({{false, ""}, {true, "/m/b.ogg"}}), std::nullopt);
  EXPECT_EQ(source::ChosenDropPath({{true, "/m/notes.txt"}, {true, "/m/b.ogg"}}), std::nullopt);
  EXPECT_EQ(source::ChosenDropPath({}), std::nullopt);
  // A file manager offering copy and move gets a copy; a move alone is refused.
  EXPECT_EQ(source::ChosenDropAction({true, true, false}), DropAction::Copy);
  EXPECT_EQ(source::ChosenDropAction({false, true, true}), DropAction::Link);
  EXPECT_EQ(source::ChosenDropAction({false, true, false}), DropAction::None);
}

}  // namespace
