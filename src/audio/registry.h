// Handle tables: every handle the engine gives out maps to one object until it is released.
// Handles come from one counter and are never reused, so a stale handle never reaches a newer
// object. Lookups return shared ownership so an object outlives a concurrent release while a
// call still uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace audio::detail {

// Engine-wide counter for every kind of handle (streams, syncs, DSPs, encoders). Never 0.
uint32_t NextHandle();

template <typename T>
class Registry {
 public:
  uint32_t Add(std::shared_ptr<T> object) {
    uint32_t h = NextHandle();
    std::lock_guard lock(mutex_);
    objects_.emplace(h, std::move(object));
    return h;
  }
  void AddWithHandle(uint32_t h, std::shared_ptr<T> object) {
    std::lock_guard lock(mutex_);
    objects_.emplace(h, std::move(object));
  }
  std::shared_ptr<T> Find(uint32_t h) const {
    if (h == 0) return nullptr;
    std::lock_guard lock(mutex_);
    auto it = objects_.find(h);
    return it == objects_.end() ? nullptr : it->second;
  }
  // Removes and returns the object; nullptr when the handle is unknown.
  std::shared_ptr<T> Take(uint32_t h) {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(h);
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
  }
  std::vector<std::pair<uint32_t, std::shared_ptr<T>>> TakeAll() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<uint32_t, std::shared_ptr<T>>> all(objects_.begin(), objects_.end());
    objects_.clear();
    return all;
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<uint32_t, std::shared_ptr<T>> objects_;
};

}  // namespace audio::detail
