// Checks that the openers' block keeping (large_blocks.cpp) is in effect and hides no fault:
// with no argument a freed large block comes back for the next request of its size (exit 0);
// with "overflow", "use-after-free" or "double-free" the sanitizer or the keeper must stop the
// program on that fault (scripts/fuzz.sh expects each to fail with its report).
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/mem.h>
}

int main(int argc, char** argv) {
  constexpr size_t kSize = 300000;
  av_free(av_mallocz(kSize));  // a size freed once is kept from then on
  auto* first = static_cast<volatile char*>(av_mallocz(kSize));
  av_free(const_cast<char*>(first));
  auto* again = static_cast<volatile char*>(av_malloc(kSize));
  const char* fault = argc > 1 ? argv[1] : "";
  if (std::strcmp(fault, "overflow") == 0) again[kSize] = 1;
  av_free(const_cast<char*>(again));
  if (std::strcmp(fault, "use-after-free") == 0) again[10] = 1;
  if (std::strcmp(fault, "double-free") == 0) av_free(const_cast<char*>(again));
  if (again != first) {
    std::fprintf(stderr, "a freed large block was not kept: the keeping is not in effect\n");
    return 1;
  }
  return *fault == '\0' ? 0 : 2;  // a fault that nothing reported
}
