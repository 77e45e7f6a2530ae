#include "disc/aligned_buffer.h"

#include <cstring>

namespace zep {

AlignedBuffer::AlignedBuffer(std::size_t size) : size_(size) {
  const std::size_t rounded = (size + kIoAlignment - 1) / kIoAlignment * kIoAlignment;
  auto* p = static_cast<std::uint8_t*>(::operator new[](rounded == 0 ? kIoAlignment : rounded,
                                                          std::align_val_t{kIoAlignment}));
  std::memset(p, 0, rounded == 0 ? kIoAlignment : rounded);
  data_.reset(p);
}

}  // namespace zep
