#include "tests/support/packed_text_encoder.h"

#include <cstring>

namespace zep::test {
namespace {

constexpr char kAlphabet[] = "0123456789,.$GPL";

int SymbolOf(char c) {
  const char* p = std::strchr(kAlphabet, c);
  return (c != '\0' && p) ? static_cast<int>(p - kAlphabet) : -1;
}

}  // namespace

std::optional<std::array<std::uint8_t, 64>> EncodePackedText(std::string_view text) {
  if (text.size() > 64) return std::nullopt;
  std::array<std::uint8_t, 64> area{};
  int pos = 0;  // in nibbles, low half of a byte first
  auto put = [&](int value) {
    if (pos >= 128) return false;
    area[static_cast<std::size_t>(pos >> 1)] |= static_cast<std::uint8_t>(value << ((pos & 1) * 4));
    return ++pos, true;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (pos >= 64) return std::nullopt;  // commands stand only at nibbles 0 to 63
    if (SymbolOf(text[i]) >= 0) {
      std::size_t n = 0;
      while (i + n < text.size() && n < 14 && SymbolOf(text[i + n]) >= 0) ++n;
      put(static_cast<int>(n));
      for (std::size_t k = 0; k < n; ++k) put(SymbolOf(text[i + k]));
      i += n;
    } else {
      std::size_t n = 0;
      while (i + n < text.size() && SymbolOf(text[i + n]) < 0) ++n;
      put(0);
      for (std::size_t k = 0; k < n; ++k) {
        const auto c = static_cast<std::uint8_t>(text[i + k]);
        if (c & 0x80) return std::nullopt;
        const std::uint8_t b = (k + 1 == n) ? (c | 0x80) : c;  // bit 7 ends the run
        if (!put(b & 0x0F) || !put(b >> 4)) return std::nullopt;
      }
      i += n;
    }
  }
  if (text.size() < 64 && pos < 64) put(15);
  // At nibble 64 the decoder ends the text by itself.
  return area;
}

}  // namespace zep::test
