// Sample-exact seeking: after Seek(f), reading yields what a straight decode yields from f on,
// bit for bit for PCM and lossless files, within 1 LSB for lossy ones.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "decoder_test_helpers.h"

namespace {

using namespace dectest;

struct SeekCase {
  const char* name;
  double tolerance;  // largest allowed difference in 16-bit steps
  // When > 0: the largest allowed RMS of the difference instead (AAC noise substitution draws
  // new noise after a seek: about 1400 here; one frame misplaced gives over 4600 on this noise).
  double rms_tolerance = 0;
};

double RmsDiff(const int16_t* a, const int16_t* b, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return n > 0 ? std::sqrt(sum / double(n)) : 0;
}

class SeekExact : public ::testing::TestWithParam<SeekCase> {};

// Target positions: the edges, a random spread, backward jumps and short forward hops.
std::vector<int64_t> Targets(int64_t length, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int64_t> any(0, length);
  std::vector<int64_t> t = {0, 1, length / 2, length - 1, 0, length - 5000, 1152, 1153, 4095, 4097};
  for (int i = 0; i < 24; ++i) t.push_back(any(rng));
  for (int i = 0; i < 6; ++i) {
    const int64_t base = any(rng);
    t.push_back(base);
    t.push_back(std::min(length, base + 3001));  // a hop just past what was read
    t.push_back(std::max<int64_t>(0, base - 100));
  }
  for (int64_t& v : t) v = std::clamp<int64_t>(v, 0, length);
  return t;
}

TEST_P(SeekExact, MatchesStraightDecode) {
  const SeekCase& c = GetParam();
  auto ref = OpenFixture(c.name, true);
  ASSERT_TRUE(ref) << c.name;
  const auto straight = ReadAll<int16_t>(*ref);
  const int64_t length = ref->LengthFrames();
  const size_t ch = ref->Channels();
  ASSERT_EQ(static_cast<int64_t>(straight.size() / ch), length);

  auto dec = OpenFixture(c.name, true);
  ASSERT_TRUE(dec);
  constexpr size_t kRead = 3000;
  std::vector<int16_t> got(kRead * ch);
  for (const int64_t target : Targets(length, 1234)) {
    ASSERT_TRUE(dec->Seek(target)) << c.name << " seek to " << target;
    const size_t n = dec->Read(got.data(), kRead);
    const auto expected = static_cast<size_t>(std::min<int64_t>(kRead, length - target));
    ASSERT_EQ(n, expected) << c.name << " read after seek to " << target;
    const int16_t* want = straight.data() + target * static_cast<int64_t>(ch);
    if (c.rms_tolerance > 0) {
      const double rms = RmsDiff(got.data(), want, n * ch);
      EXPECT_LE(rms, c.rms_tolerance) << c.name << " at frame " << target;
      if (std::getenv("TW_PRINT_RMS") != nullptr) std::printf("rms %.1f at %lld\n", rms, (long long)target);
    } else {
      EXPECT_LE(MaxDiff(got.data(), want, n * ch), c.tolerance) << c.name << " at frame " << target;
    }
  }
  // After the last seek, reading on reaches exactly the end.
  ASSERT_TRUE(dec->Seek(length - 2500 > 0 ? length - 2500 : 0));
  const auto tail = ReadAll<int16_t>(*dec, 999);
  EXPECT_EQ(tail.size(), static_cast<size_t>(std::min<int64_t>(2500, length)) * ch);
  EXPECT_TRUE(dec->AtEnd());
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SeekExact,
    ::testing::Values(SeekCase{"ref.wav", 0}, SeekCase{"ref24.wav", 0}, SeekCase{"ref_f32.wav", 0},
                      SeekCase{"ref.aiff", 0}, SeekCase{"ref.flac", 0}, SeekCase{"ref.ape", 0},
                      SeekCase{"ref_alac.m4a", 0}, SeekCase{"ref.alac", 0},
                      SeekCase{"surround51.wav", 0}, SeekCase{"ref.mp3", 1},
                      SeekCase{"ref_vbr.mp3", 1}, SeekCase{"ref_notag.mp3", 1}, SeekCase{"ref.mp2", 1},
                      SeekCase{"ref.ogg", 1}, SeekCase{"ref.m4a", 1}, SeekCase{"ref.mp4", 1},
                      SeekCase{"ref.aac", 1}, SeekCase{"ref.ac3", 1}, SeekCase{"surround51.ac3", 1},
                      SeekCase{"ref.mpc", 1}, SeekCase{"ref.wma", 1}, SeekCase{"ref.mp1", 1},
                      SeekCase{"ref.m4b", 1}, SeekCase{"sec53_9.ogg", 1}, SeekCase{"96k.wav", 0},
                      SeekCase{"ref.mod", 0}, SeekCase{"ref.s3m", 0}, SeekCase{"ref.xm", 0},
                      SeekCase{"ref.it", 0}, SeekCase{"start_offset.mp4", 1},
                      SeekCase{"start_offset.ts", 1}, SeekCase{"ref_pns.m4a", 0, 2500},
                      // Vorbis whose stream stamps some frames after a block-size change late
                      SeekCase{"/usr/share/hyperrogue/music/hr3-graveyard.ogg", 1}),
    [](const auto& info) {
      std::string n = info.param.name;
      if (const size_t slash = n.find_last_of('/'); slash != std::string::npos) n = n.substr(slash + 1);
      for (char& ch : n) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return n;
    });

}  // namespace
