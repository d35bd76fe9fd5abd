#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

// A fixed ring of samples between exactly one writer thread and one reader thread. Neither
// side ever waits or locks: each only moves its own position, so the audio callback can read
// while the decoder writes.
class AudioRing {
 public:
  explicit AudioRing(size_t capacity) : samples_(capacity) {}

  size_t capacity() const { return samples_.size(); }
  // Samples the reader can take now.
  size_t available() const {
    return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
  }
  // Samples the writer can put now.
  size_t space() const {
    return capacity() - (written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
  }

  // Writer side. Copies as many of `count` samples as fit; returns how many that was.
  size_t write(const float* from, size_t count) {
    const size_t position = written_.load(std::memory_order_relaxed);
    count = std::min(count, space());
    const auto [at, first] = stretch(position, count);
    std::memcpy(&samples_[at], from, first * sizeof(float));
    std::memcpy(&samples_[0], from + first, (count - first) * sizeof(float));
    written_.store(position + count, std::memory_order_release);
    return count;
  }

  // Reader side. Passes over up to `count` samples; returns how many.
  size_t skip(size_t count) {
    count = std::min(count, available());
    read_.store(read_.load(std::memory_order_relaxed) + count, std::memory_order_release);
    return count;
  }

  // Reader side. Takes up to `count` samples; returns how many it took.
  size_t read(float* to, size_t count) {
    const size_t position = read_.load(std::memory_order_relaxed);
    count = std::min(count, available());
    const auto [at, first] = stretch(position, count);
    std::memcpy(to, &samples_[at], first * sizeof(float));
    std::memcpy(to + first, &samples_[0], (count - first) * sizeof(float));
    read_.store(position + count, std::memory_order_release);
    return count;
  }

 private:
  struct Stretch {
    size_t at;     // where `count` samples from `position` start in the ring
    size_t first;  // how many of them fit before the ring's end; the rest start at 0
  };
  // Positions count every sample ever passed (64 bits do not wrap in practice).
  Stretch stretch(size_t position, size_t count) const {
    const size_t at = position % capacity();
    return {at, std::min(count, capacity() - at)};
  }

  std::vector<float> samples_;
  std::atomic<size_t> written_{0};
  std::atomic<size_t> read_{0};
};
