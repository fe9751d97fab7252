// Helpers shared by the FileDecoder tests: opening fixtures and decoding them whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/decoder.h"
#include "support/fixtures.h"

namespace dectest {

using audio::detail::DecoderOptions;
using audio::detail::Family;
using audio::detail::FileDecoder;
using audio::detail::SampleKind;

inline std::unique_ptr<FileDecoder> OpenFixture(const std::string& name, bool prescan,
                                                SampleKind kind = SampleKind::S16,
                                                Family family = Family::Any, int* error = nullptr) {
  DecoderOptions options;
  options.family = family;
  options.kind = kind;
  options.prescan = prescan;
  int ignored = 0;
  return FileDecoder::Open(twtest::Fixture(name), options, error != nullptr ? error : &ignored);
}

// Reads everything left, in pieces of `chunk` frames.
template <typename T>
std::vector<T> ReadAll(FileDecoder& dec, size_t chunk = 4096) {
  std::vector<T> all;
  std::vector<T> piece(chunk * dec.Channels());
  for (;;) {
    const size_t got = dec.Read(piece.data(), chunk);
    if (got == 0) break;
    EXPECT_LE(got, chunk);
    all.insert(all.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(got * dec.Channels()));
  }
  return all;
}

// The largest absolute difference between two runs of samples (of equal length).
template <typename T>
double MaxDiff(const T* a, const T* b, size_t n) {
  double worst = 0;
  for (size_t i = 0; i < n; ++i) {
    const double d = std::abs(static_cast<double>(a[i]) - static_cast<double>(b[i]));
    if (d > worst) worst = d;
  }
  return worst;
}

}  // namespace dectest
