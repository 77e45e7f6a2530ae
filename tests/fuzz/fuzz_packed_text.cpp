// Any 64-byte area through the packed text decoder: it writes at most 64
// characters and a carriage return within the 64 bytes it may use, and the
// bytes around them are never touched.

#include <algorithm>
#include <cstring>

#include "convert/packed_text.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The area is copied to the end of a heap block of exactly 64 bytes, so
  // AddressSanitizer catches any read past it.
  auto* area = new std::uint8_t[64];
  std::memset(area, 0, 64);
  std::memcpy(area, data, std::min<std::size_t>(size, 64));
  std::uint8_t out[64 + 32];
  std::memset(out, 0xA5, sizeof out);
  const int n = zep::DecodePackedText(out + 16, area);
  FUZZ_CHECK(n >= 0 && n <= 64);
  for (int i = 0; i < 16; ++i) FUZZ_CHECK(out[i] == 0xA5);
  for (int i = 16 + 64; i < static_cast<int>(sizeof out); ++i) FUZZ_CHECK(out[i] == 0xA5);
  for (int i = 0; i < n; ++i) FUZZ_CHECK(out[16 + i] < 0x80);
  if (n < 64) {
    FUZZ_CHECK(out[16 + n] == 0x0D);
    for (int i = n + 1; i < 64; ++i) FUZZ_CHECK(out[16 + i] == 0xA5);
  }
  delete[] area;
  return 0;
}
