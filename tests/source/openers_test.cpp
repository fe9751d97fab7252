// Extensions, the opener table and the names and drops the dialog and the input box accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <filesystem>

#include "source/input_choice.h"
#include "support/command.h"
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

// A file that does not open says why, in the first words that apply: the file system's, then
// what the engine found.
TEST(Openers, AFileThatDoesNotOpenSaysWhy) {
  ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr));
  const std::string dir = twtest::FixtureDir() + "/";
  const std::string tmp = ::testing::TempDir() + "tw_why_";
  const std::string made = twtest::CommandOutput(
      "ffmpeg -v error -y -f lavfi -i testsrc=d=1:s=64x48 -c:v mpeg4 " + tmp + "silent.mp4 && "
      "ffmpeg -v error -y -i " + dir + "ref.wav -t 4 -c:a aac " + tmp + "whole.m4a && "
      "head -c 30000 " + tmp + "whole.m4a > " + tmp + "cut.m4a && : > " + tmp + "empty.ogg && mkdir -p " + tmp + "folder.mp3 && echo ok");
  ASSERT_EQ(made, "ok\n");
  const struct {
    std::string path;
    const char* why;
  } cases[] = {
      {dir + "ref.mp3", ""},
      {tmp + "missing.mp3", "No such file or directory"},
      {tmp + "folder.mp3", "is a folder"},
      {tmp + "empty.ogg", "is empty"},
      {tmp + "silent.mp4", "has no sound"},
      {tmp + "cut.m4a", "is damaged"},  // the index that comes last in the file is missing
      {dir + "truncated.flac", ""},      // what is there opens
      {dir + "notes.txt", "is not a sound or video file Tonewright can read"},
      {dir + "random.mp3", "is not a sound or video file Tonewright can read"},
  };
  for (const auto& c : cases) EXPECT_EQ(source::WhyNotOpened(c.path), c.why) << c.path;
  audio::Free();
}

// The dialog, the drop and the command line take the same names, in any case, and no others.
TEST(AcceptedNames, TheDialogTheDropAndTheCommandLineTakeOneList) {
  const std::string filter = source::OpenDialogFilter();
  EXPECT_EQ(filter.rfind("All Support Files (*.mp3 *.mp2 *.mp1 *.ogg", 0), 0u);
  EXPECT_EQ(filter.back(), ')');
  std::multiset<std::string> patterns;
  std::istringstream words(filter.substr(filter.find('(') + 1, filter.size() - filter.find('(') - 2));
  for (std::string word; words >> word;) patterns.insert(word);
  for (const std::string_view ext : source::AcceptedExtensions()) {
    std::string upper(ext);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {"/x/a" + std::string(ext), "/x/B" + upper}) {
      EXPECT_TRUE(source::IsAcceptedName(name)) << name;
      EXPECT_EQ(source::ChosenDropPath({{true, name}}), name);
    }
    EXPECT_EQ(patterns.count("*" + std::string(ext)), 1u) << ext;
  }
  EXPECT_EQ(patterns.size(), source::AcceptedExtensions().size());
  // The names a new user tried: each was taken by one way and not another, or by none.
  for (const char* name : {"/x/track.aif", "/x/a.oga", "/x/a.alac", "/x/a.mo3", "/x/voice.OPUS", "/x/bell.m4r",
                           "/x/book.m4b", "/x/a.mp+", "/x/a.aifc", "/x/clip.MKV", "/x/film.mp4", "/x/a.m4v", "/x/rip.wv"})
    EXPECT_TRUE(source::IsAcceptedName(name)) << name;
  for (const char* name : {"/x/notes.txt", "/x/noextension", "/x/a.", "/x/a.mp", "/x/a.mp3x", "/x/.mp3/a", "/x/a.jpg"}) {
    EXPECT_FALSE(source::IsAcceptedName(name)) << name;
    EXPECT_EQ(source::ChosenDropPath({{true, name}}), std::nullopt) << name;
  }
}

// Each name opens a file of its kind through the opener the table gives it (not only through the
// general opener's second try), for the preview, the scan and the conversion.
TEST(AcceptedNames, EachOpensAFileOfItsKindWithItsOwnOpener) {
  // The fixture whose content each name stands for; tracker names without a fixture of their
  // own hold a module that the tracker library tells by its content.
  const std::map<std::string, std::string> content = {
      {".mp3", "ref.mp3"},   {".mp2", "ref.mp2"},   {".mp1", "ref.mp1"},   {".mpga", "ref.mp3"},
      {".ogg", "ref.ogg"},   {".oga", "ref.ogg"},   {".opus", "ref.opus"}, {".wav", "ref.wav"},
      {".aif", "ref.aiff"},  {".aiff", "ref.aiff"}, {".aifc", "ref.aiff"}, {".aiffc", "ref.aiff"}, {".wma", "ref.wma"},
      {".mpc", "ref.mpc"},   {".mp+", "ref.mpc"},   {".mpp", "ref.mpc"},   {".flac", "ref.flac"},
      {".fla", "ref.flac"},  {".ape", "ref.ape"},   {".alac", "ref.alac"}, {".aac", "ref.aac"},
      {".adts", "ref.aac"},  {".mp4", "ref.mp4"},   {".m4a", "ref.m4a"},   {".m4b", "ref.m4b"},
      {".m4r", "ref.m4a"},   {".f4a", "ref.m4a"},   {".f4b", "ref.m4b"},   {".ac3", "ref.ac3"},
      {".it", "ref.it"},     {".xm", "ref.xm"},     {".s3m", "ref.s3m"},   {".mod", "ref.mod"},
      {".mtm", "ref.mod"},   {".umx", "ref.mod"},   {".mo3", "ref.mod"},   {".m15", "ref.mod"},
      {".uni", "ref.mod"},   {".med", "ref.mod"},   {".669", "ref.mod"},   {".ult", "ref.mod"},
      {".m4v", "ref_video.mp4"}, {".mov", "ref.mov"}, {".3gp", "ref.3gp"}, {".3g2", "ref.3gp"},
      {".mkv", "ref.mkv"},   {".mka", "ref.mka"},   {".webm", "ref.webm"}, {".weba", "ref_opus.webm"},
      {".avi", "ref.avi"},   {".caf", "ref.caf"},   {".wv", "ref.wv"},     {".tta", "ref.tta"},
      {".f4v", "ref_video.mp4"}, {".lrv", "ref_video.mp4"}, {".qt", "ref.mov"}, {".moov", "ref.mov"},
      {".qtvr", "ref.mov"}, {".3gpp", "ref.3gp"}, {".3ga", "ref.3gp"}, {".3gpp2", "ref.3gp"}, {".3gp2", "ref.3gp"},
      {".avf", "ref.avi"},   {".divx", "ref.avi"},  {".wvp", "ref.wv"}};
  ASSERT_TRUE(audio::Init(-1, 44100, 0, nullptr));
  for (const std::string_view view : source::AcceptedExtensions()) {
    const std::string ext(view);
    ASSERT_EQ(content.count(ext), 1u) << ext << " has no file to try";
    const std::string path = ::testing::TempDir() + "named" + ext;
    std::filesystem::copy_file(twtest::Fixture(content.at(ext)), path,
                               std::filesystem::copy_options::overwrite_existing);
    const audio::Handle own = source::SourceOpener(ext)(path.c_str(), 0, 0, source::kScanFlags);
    EXPECT_NE(own, 0u) << ext;
    EXPECT_GT(audio::ChannelGetLength(own, audio::POS_BYTE), 0) << ext;
    audio::StreamFree(own);
    for (const audio::Handle h : {source::OpenSourceStream(path, source::kPreviewFlags),
                                  source::OpenRenderStream(path, source::kRenderFlags)}) {
      EXPECT_NE(h, 0u) << ext;
      audio::StreamFree(h);
    }
    std::filesystem::remove(path);
  }
  // A ringtone is AAC in MP4: the MP4 opener takes it, for the conversion too.
  EXPECT_EQ(source::SourceOpener(".m4r"), source::SourceOpener(".m4a"));
  EXPECT_EQ(source::RenderOpener(".m4r"), source::RenderOpener(".m4a"));
  audio::Free();
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
