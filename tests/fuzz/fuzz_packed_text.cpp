// Any 64-byte area through the packed text decoder: it writes at most 64
// characters and a carriage return within the 64 bytes it may use, and the
// bytes around them are never touched.

#include <algorithm>
#include <memory>

#include "convert/packed_text.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A heap block of exactly 64 bytes: AddressSanitizer catches any read past it.
  const auto area = std::make_unique<std::uint8_t[]>(64);
  std::copy_n(data, std::min<std::size_t>(size, 64), area.get());
  std::uint8_t out[16 + 64 + 16];
  std::fill(std::begin(out), std::end(out), 0xA5);
  const int n = zep::DecodePackedText(out + 16, area.get());
  FUZZ_CHECK(n >= 0 && n <= 64 && (n == 64 || out[16 + n] == 0x0D));
  for (int i = 0; i < 96; ++i) {
    const bool text = i >= 16 && i < 16 + n, cr = i == 16 + n && n < 64;
    FUZZ_CHECK(text ? out[i] < 0x80 : cr || out[i] == 0xA5);
  }
  return 0;
}
