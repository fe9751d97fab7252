// Checks that the openers' block keeping (large_blocks.cpp) is in effect and hides no fault:
// with no argument, which freed blocks come back for the next request of their size (exit 0);
// with "overflow", "use-after-free" or "double-free" the sanitizer or the keeper must stop the
// program on that fault (scripts/fuzz.sh expects each to fail with its report). Freed blocks
// that are not kept stay in the sanitizer's quarantine, so they never come back here.
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

namespace {

enum class Origin { kHandedOut, kLibavutil };

// Frees a block of `size` (allocated as `origin` says) and tells whether the next request of that
// size gets it back. That second block goes straight back to the sanitizer, so that what is kept
// afterwards is only what this freeing kept.
bool ComesBack(size_t size, Origin origin) {
  void* block = origin == Origin::kHandedOut ? av_mallocz(size) : av_realloc(nullptr, size);
  av_free(block);
  void* again = av_malloc(size);
  std::free(again);
  return again == block;
}

int CheckKeeping() {
  struct Case {
    const char* what;
    size_t size;
    Origin origin;
    bool kept;
  } const cases[] = {
      {"a size freed for the first time", 200000, Origin::kHandedOut, false},
      {"a size freed before", 200000, Origin::kHandedOut, true},
      {"another size freed for the first time", 250000, Origin::kHandedOut, false},
      {"a block libavutil allocated by itself, its size freed before", 250000, Origin::kLibavutil, false},
      {"a small block", 100000, Origin::kHandedOut, false},
      {"a small block, its size freed before", 100000, Origin::kHandedOut, false},
      {"a block over 1 MiB", 2000000, Origin::kHandedOut, false},
      {"a block over 1 MiB, its size freed before", 2000000, Origin::kHandedOut, false},
  };
  int failed = 0;
  for (const Case& c : cases) {
    if (ComesBack(c.size, c.origin) != c.kept) {
      std::fprintf(stderr, "%s was %s\n", c.what, c.kept ? "not kept" : "kept");
      failed = 1;
    }
  }
  return failed;
}

}  // namespace

int main(int argc, char** argv) {
  const char* fault = argc > 1 ? argv[1] : "";
  if (*fault == '\0') return CheckKeeping();
  constexpr size_t kSize = 300000;
  av_free(av_mallocz(kSize));  // a size freed once is kept from then on
  auto* first = static_cast<volatile char*>(av_mallocz(kSize));
  av_free(const_cast<char*>(first));
  auto* again = static_cast<volatile char*>(av_malloc(kSize));
  if (std::strcmp(fault, "overflow") == 0) again[kSize] = 1;
  av_free(const_cast<char*>(again));
  if (std::strcmp(fault, "use-after-free") == 0) again[10] = 1;
  if (std::strcmp(fault, "double-free") == 0) av_free(const_cast<char*>(again));
  return 2;  // a fault that nothing reported
}
