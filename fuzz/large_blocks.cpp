// Keeps FFmpeg's large blocks for the next input instead of handing them back to the sanitizer.
//
// AddressSanitizer maps every block over 128 KiB afresh and unmaps it when freed, and FFmpeg
// allocates such blocks at each opening: an AAC decoder's state, and each of its up to 64
// channel elements, is 535 KiB, zeroed page by page. On a virtual machine where a page fault
// costs microseconds, that was most of each input's time. Here libavcodec's and libavformat's
// calls to av_malloc, av_mallocz, av_free and av_freep are answered first: a large block they
// free is poisoned and kept, and the next request of the same size gets it back. A use after
// free still reports until then (as a use after poison), as with the sanitizer's quarantine; an
// overflow still runs into the sanitizer's redzone, as the block keeps its exact size; a double
// free is reported here.
#include <dlfcn.h>
#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr size_t kLargeBlock = size_t{1} << 17;  // the sanitizer maps blocks above this size
// Larger blocks are buffers sized by a header, seldom asked for twice, and are not kept.
constexpr size_t kLargestKept = size_t{1} << 20;
constexpr size_t kKept = 80;     // more than an AAC stream's channel elements
constexpr size_t kHandedOut = 128;
constexpr size_t kSizesRemembered = 64;

struct Kept {
  void* block = nullptr;
  size_t size = 0;
};

// What is kept must match what libFuzzer counts: an input that ends with more blocks kept than
// it began with looks as if it leaked, and each such input costs a leak check, which scans every
// kept block. So only blocks handed out here are kept (libavutil's own allocations, such as
// av_realloc's, never come back here), and only where their size was freed before (a size read
// from a damaged header seldom comes again).
struct Blocks {
  std::mutex mutex;
  std::array<Kept, kKept> kept;
  size_t next_evicted = 0;
  std::array<void*, kHandedOut> handed_out{};
  std::array<size_t, kSizesRemembered> freed_sizes{};
  size_t next_size = 0;

  void* Take(size_t size) {
    std::lock_guard<std::mutex> lock(mutex);
    for (Kept& k : kept) {
      if (k.block != nullptr && k.size == size) {
        void* block = k.block;
        k.block = nullptr;
        ASAN_UNPOISON_MEMORY_REGION(block, size);
        return block;
      }
    }
    return nullptr;
  }

  void HandOut(void* block) {
    std::lock_guard<std::mutex> lock(mutex);
    for (int pass = 0; pass < 2; ++pass) {
      for (void*& h : handed_out) {
        if (h == nullptr) {
          h = block;
          return;
        }
      }
      // Full: forget the blocks freed elsewhere (an AVBuffer's, freed inside libavutil).
      for (void*& h : handed_out) {
        if (__sanitizer_get_ownership(h) == 0) h = nullptr;
      }
    }
  }

  // Takes back a freed block; returns what is to be freed for real: the block itself, the
  // block it replaces when every place is taken, or nothing.
  void* Release(void* block, size_t size) {
    std::lock_guard<std::mutex> lock(mutex);
    Kept* slot = nullptr;
    for (Kept& k : kept) {
      if (k.block == block) {
        std::fprintf(stderr, "ERROR: av_free of a large block that was already freed\n");
        __sanitizer_print_stack_trace();
        std::abort();
      }
      if (slot == nullptr && k.block == nullptr) slot = &k;
    }
    if (!ForgetHandedOut(block) || !SeenBefore(size)) return block;
    if (slot == nullptr) {
      slot = &kept[next_evicted];
      next_evicted = (next_evicted + 1) % kKept;
    }
    void* replaced = slot->block;
    if (replaced != nullptr) ASAN_UNPOISON_MEMORY_REGION(replaced, slot->size);
    ASAN_POISON_MEMORY_REGION(block, size);
    *slot = Kept{block, size};
    return replaced;
  }

 private:
  bool ForgetHandedOut(void* block) {
    for (void*& h : handed_out) {
      if (h == block) {
        h = nullptr;
        return true;
      }
    }
    return false;
  }

  bool SeenBefore(size_t size) {
    for (size_t s : freed_sizes) {
      if (s == size) return true;
    }
    freed_sizes[next_size] = size;
    next_size = (next_size + 1) % kSizesRemembered;
    return false;
  }
};

Blocks blocks;

bool Keepable(size_t size) { return size >= kLargeBlock && size <= kLargestKept; }

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void* av_malloc(size_t size) {
  static const auto next = Next<void* (*)(size_t)>("av_malloc");
  if (!Keepable(size)) return next(size);
  void* block = blocks.Take(size);
  if (block == nullptr) block = next(size);
  if (block != nullptr) blocks.HandOut(block);
  return block;
}

void* av_mallocz(size_t size) {
  void* block = av_malloc(size);
  if (block != nullptr) std::memset(block, 0, size);
  return block;
}

void av_free(void* block) {
  static const auto next = Next<void (*)(void*)>("av_free");
  if (block == nullptr) return;
  // A block the sanitizer does not own is not ours to judge: it goes on as it came.
  if (__sanitizer_get_ownership(block) != 0) {
    const size_t size = __sanitizer_get_allocated_size(block);
    if (Keepable(size)) block = blocks.Release(block, size);
    if (block == nullptr) return;
  }
  next(block);
}

void av_freep(void* arg) {
  void* block = nullptr;
  std::memcpy(&block, arg, sizeof(block));
  void* const null = nullptr;
  std::memcpy(arg, &null, sizeof(null));
  av_free(block);
}

}  // extern "C"
