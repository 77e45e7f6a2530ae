#include "convert/packed_text.h"

namespace zep {
namespace {

constexpr char kAlphabet[16] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', ',', '.', '$', 'G', 'P', 'L'};
constexpr int kCommandNibbles = 64;  // commands stand at nibbles 0 to 63
constexpr int kAreaNibbles = 2 * kPackedTextAreaSize;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr int kLiteralRun = 0;
constexpr int kEndOfText = 15;

// Nibble p of the area, low half of byte p / 2 first. Callers keep p below 128.
inline int Nibble(const std::uint8_t* area, int p) { return (area[p >> 1] >> ((p & 1) * 4)) & 0x0F; }

}  // namespace

int DecodePackedText(std::uint8_t* output, const std::uint8_t* area) {
  int p = 0;
  int n = 0;
  while (n < kPackedTextMaxChars) {
    // Past the command range the text ends as if command 15 stood there.
    const int c = p < kCommandNibbles ? Nibble(area, p) : kEndOfText;
    if (c == kEndOfText) {
      output[n] = kCarriageReturn;  // n < 64 here
      break;
    }
    if (c == kLiteralRun) {
      // Each character is a byte given low half first; bit 7 ends the run.
      while (p + 2 < kAreaNibbles) {
        const int b = Nibble(area, p + 1) | Nibble(area, p + 2) << 4;
        p += 2;
        output[n++] = static_cast<std::uint8_t>(b & 0x7F);
        if ((b & 0x80) != 0 || n >= kPackedTextMaxChars) break;
      }
      // A run cut by the end of the area leaves p at 126 or 127, so the next
      // command position is past 63 and the text ends: see the header.
      ++p;
    } else {
      // Symbol group of c characters; p + c stays below 78, inside the area.
      for (int k = 0; k < c && n < kPackedTextMaxChars; ++k) {
        ++p;
        output[n++] = static_cast<std::uint8_t>(kAlphabet[Nibble(area, p)]);
      }
      ++p;
    }
  }
  return n;
}

}  // namespace zep
