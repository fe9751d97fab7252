// Extensions, the opener table and the names and drops the dialog and the input box accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <filesystem>

#include "source/input_choice.h"
#include "support/fixtures.h"
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

// Files whose extension lies about their content open by their content, for the preview, the
// scan and the conversion alike, as long as the general opener takes them.
TEST(Openers, AFileTheExtensionsOpenerRefusesOpensByItsContent) {
  ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr));
  const std::string dir = twtest::FixtureDir() + "/";
  const audio::Handle mp3 = source::OpenSourceStream(dir + "ref.mp3", source::kScanFlags);
  ASSERT_NE(mp3, 0u);
  const int64_t length = audio::ChannelGetLength(mp3, audio::POS_BYTE);
  audio::StreamFree(mp3);
  ASSERT_EQ(source::SourceOpener(".flac")((dir + "mp3_as.flac").c_str(), 0, 0, source::kScanFlags), 0u);
  for (const char* name : {"mp3_as.flac", "mp3_as.ogg"}) {
    for (const uint32_t flags : {source::kPreviewFlags, source::kScanFlags}) {
      const audio::Handle h = source::OpenSourceStream(dir + name, flags);
      ASSERT_NE(h, 0u) << name;
      EXPECT_EQ(audio::ChannelGetLength(h, audio::POS_BYTE), length) << name;
      audio::StreamFree(h);
    }
    const audio::Handle render = source::OpenRenderStream(dir + name, source::kRenderFlags);
    EXPECT_NE(render, 0u) << name;
    audio::StreamFree(render);
  }
  // ADTS AAC under an MP4 name: the MP4 opener refuses it, its content opens.
  const std::string renamed = ::testing::TempDir() + "adts_named.m4b";
  std::filesystem::copy_file(dir + "ref.aac", renamed, std::filesystem::copy_options::overwrite_existing);
  const audio::Handle aac = source::OpenRenderStream(renamed, source::kRenderFlags);
  EXPECT_NE(aac, 0u);
  audio::StreamFree(aac);
  std::filesystem::remove(renamed);
  // What no opener takes still fails.
  EXPECT_EQ(source::OpenSourceStream(dir + "random.mp3", source::kPreviewFlags), 0u);
  EXPECT_EQ(source::OpenRenderStream(dir + "notes.txt", source::kRenderFlags), 0u);
  audio::Free();
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
  // The command line takes what either list takes (the desktop offers the program for AIFF).
  for (const char* name : {"/x/track.aif", "/x/track.AIF", "/x/a.alac", "/x/a.mo3", "/x/song.mp3", "/x/track.aiff",
                           "/x/a.mp+", "/x/a.umx", "/x/a.aifc", "/x/voice.OPUS"})
    EXPECT_TRUE(source::IsCommandLineAccepted(name)) << name;
  for (const char* name : {"/x/notes.txt", "/x/noextension", "/x/a.", "/x/a.mp", "/x/a.mp3x", "/x/.mp3/a"})
    EXPECT_FALSE(source::IsCommandLineAccepted(name)) << name;
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
