#include "tests/support/packed_text_encoder.h"

#include <cstring>

namespace zep::test {
namespace {

constexpr char kAlphabet[] = "0123456789,.$GPL";

int SymbolOf(char c) {
  const char* p = std::strchr(kAlphabet, c);
  return (c != '\0' && p) ? static_cast<int>(p - kAlphabet) : -1;
}

class NibbleWriter {
 public:
  bool Put(int value) {
    if (pos_ >= 128) return false;
    std::uint8_t& byte = area_[pos_ >> 1];
    byte = (pos_ & 1) ? static_cast<std::uint8_t>((byte & 0x0F) | (value << 4))
                      : static_cast<std::uint8_t>((byte & 0xF0) | value);
    ++pos_;
    return true;
  }
  int pos() const { return pos_; }
  const std::array<std::uint8_t, 64>& area() const { return area_; }

 private:
  std::array<std::uint8_t, 64> area_{};
  int pos_ = 0;
};

}  // namespace

std::optional<std::array<std::uint8_t, 64>> EncodePackedText(std::string_view text) {
  if (text.size() > 64) return std::nullopt;
  NibbleWriter w;
  std::size_t i = 0;
  while (i < text.size()) {
    if (w.pos() >= 64) return std::nullopt;  // commands stand only at nibbles 0 to 63
    if (SymbolOf(text[i]) >= 0) {
      std::size_t n = 0;
      while (i + n < text.size() && n < 14 && SymbolOf(text[i + n]) >= 0) ++n;
      w.Put(static_cast<int>(n));
      for (std::size_t k = 0; k < n; ++k) w.Put(SymbolOf(text[i + k]));
      i += n;
    } else {
      std::size_t n = 0;
      while (i + n < text.size() && SymbolOf(text[i + n]) < 0) ++n;
      w.Put(0);
      for (std::size_t k = 0; k < n; ++k) {
        const auto c = static_cast<std::uint8_t>(text[i + k]);
        if (c & 0x80) return std::nullopt;
        const std::uint8_t b = (k + 1 == n) ? (c | 0x80) : c;  // bit 7 ends the run
        if (!w.Put(b & 0x0F) || !w.Put(b >> 4)) return std::nullopt;
      }
      i += n;
    }
  }
  if (text.size() < 64 && w.pos() < 64) w.Put(15);
  // At nibble 64 the decoder ends the text by itself.
  return w.area();
}

}  // namespace zep::test
