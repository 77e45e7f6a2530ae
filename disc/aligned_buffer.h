#pragma once
// Buffers that unbuffered volume reads may fill: Windows rejects a
// FILE_FLAG_NO_BUFFERING read into memory not aligned to the sector size, and
// Wine does not, so alignment is guaranteed by construction rather than tested.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

namespace zep {

inline constexpr std::size_t kIoAlignment = 4096;

class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  // Zero-filled; size is rounded up to a whole number of kIoAlignment bytes
  // internally, size() reports what was asked for.
  explicit AlignedBuffer(std::size_t size);

  std::uint8_t* data() { return data_.get(); }
  const std::uint8_t* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::span<std::uint8_t> span() { return {data_.get(), size_}; }
  std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }
  std::uint8_t& operator[](std::size_t i) { return data_[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return data_[i]; }

 private:
  struct Free {
    void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{kIoAlignment}); }
  };
  std::unique_ptr<std::uint8_t[], Free> data_;
  std::size_t size_ = 0;
};

}  // namespace zep
