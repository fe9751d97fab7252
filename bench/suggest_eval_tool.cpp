// What the analysis finds in each file named on the command line, for bench/suggest_eval.py: the
// file decoded as the scan decodes it, then one block of lines per file:
//
//   FILE <path>
//   SECONDS <length>
//   BEATS <t> <t> ...      every beat of the song, seconds
//   BARS <t> <t> ...       the beats that open a bar
//   PART <start> <end> <kind>
//   SECTION <start> <end> <group>   one line per section of the song
//   GROUP <group>          the group the part opens, -1 for none
//   LEVEL <part dB> <song's median dB>
//
// A file that does not open prints "FILE <path>" and "ERROR".
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/chorus.h"
#include "analysis/features.h"
#include "analysis/part_level.h"
#include "analysis/song_analysis.h"
#include "analysis/suggest_file.h"
#include "audio/engine.h"

namespace {

void PrintTimes(const char* name, const std::vector<double>& times) {
  std::printf("%s", name);
  for (double t : times) std::printf(" %.4f", t);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
    return 2;
  }
  if (!audio::Init(-1, 44100, 0, nullptr)) return 1;
  for (int i = 1; i < argc; ++i) {
    std::printf("FILE %s\n", argv[i]);
    const auto f = analysis::FeaturesOfFile(argv[i]);
    if (!f) {
      std::printf("ERROR\n");
      continue;
    }
    std::printf("SECONDS %.4f\n", f->Seconds());
    const analysis::SongAnalysis song = analysis::AnalyseSong(*f, analysis::kDefaultPartSeconds, 1);
    PrintTimes("BEATS", song.beats.beats);
    PrintTimes("BARS", song.beats.bars);
    const analysis::Suggestion s = song.parts.empty() ? analysis::Suggestion{{0, f->Seconds()}} : song.parts.front();
    const char* kinds[] = {"whole", "chorus", "loudest"};
    std::printf("PART %.4f %.4f %s\n", s.part.start, s.part.end, kinds[static_cast<int>(s.kind)]);
    for (const wave::Section& x : song.sections) std::printf("SECTION %.4f %.4f %d\n", x.start, x.end, x.group);
    std::printf("GROUP %d\n", s.group);
    std::printf("LEVEL %.3f %.3f\n", analysis::LevelDb(*f, s.part.start, s.part.end), analysis::MedianLevelDb(*f));
    std::fflush(stdout);
  }
  audio::Free();
  return 0;
}
