#pragma once
// The GPS text of a TK40 block, packed four bits to a character.

#include <cstdint>

namespace zep {

inline constexpr int kPackedTextAreaSize = 64;
inline constexpr int kPackedTextMaxChars = 64;

// Decodes the 64-byte PackedText area into output (at least 64 bytes): at most
// 64 characters from output[0], then a carriage return at output[n] when the
// text ended before 64 characters. Nothing else of output is written. Returns
// n, the number of characters (0 to 64), the carriage return not counted.
//
// Never reads outside area[0..63]: a literal run that would need a nibble past
// 127 (the end of the area) ends before the byte that needs it, without
// writing that byte; the next command position is then past 63, so the text
// ends there with a carriage return. Such nibbles have no
// defined value, and ending the text is the choice that invents no character.
int DecodePackedText(std::uint8_t* output, const std::uint8_t* area);

}  // namespace zep
