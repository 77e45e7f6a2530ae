// DecodePackedText: the worked cases, the 64-character cap, nibble position
// 64, literal runs at the end of the area, and leftovers of an earlier text.
// That nothing outside the area is read or past the text written is also
// fuzz_packed_text's; here the bytes around the area would show as text.

#include "convert/packed_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>

#include "tests/support/packed_text_encoder.h"

namespace zep {
namespace {

using Area = std::array<std::uint8_t, 64>;

// Builds an area nibble by nibble, low half first; unwritten nibbles are 0.
struct Nibbles {
  Area area{};
  int pos = 0;
  Nibbles& Put(int v) {
    EXPECT_LT(pos, 128);
    area[pos >> 1] = static_cast<std::uint8_t>(area[pos >> 1] | (v & 0xF) << ((pos & 1) * 4));
    return ++pos, *this;
  }
  Nibbles& Byte(int b) { return Put(b & 0xF).Put(b >> 4); }  // a literal byte
  Nibbles& Group(std::initializer_list<int> symbols) {
    Put(static_cast<int>(symbols.size()));
    for (int s : symbols) Put(s);
    return *this;
  }
  Nibbles& Repeat(int times, const std::function<void(Nibbles&)>& put) {
    for (int i = 0; i < times; ++i) put(*this);
    return *this;
  }
};

std::string Letters(char first, int n) {
  std::string s;
  for (int k = 0; k < n; ++k) s += static_cast<char>(first + k % 26);
  return s;
}

TEST(PackedText, DecodesEachCaseAndNothingMore) {
  std::string fiveGroups;
  for (int i = 0; i < 64; ++i) fiveGroups += "0123456789,.$GPL"[(i / 14 + i % 14) % 16];
  // 21 one-character literal runs fill nibbles 0 to 62; a run at nibble 63
  // takes its bytes from nibbles 64 to 127 and would need nibble 128 next.
  Nibbles runAt63;
  for (int k = 0; k < 21; ++k) runAt63.Put(0).Byte(0x80 | ('A' + k));
  runAt63.Put(0).Repeat(32, [k = 0](Nibbles& n) mutable { n.Byte('a' + k++ % 26); });
  // A literal run at nibble 62 whose 33rd byte would be nibbles 127 and 128.
  auto halfByte = [](bool capFirst) {
    Nibbles w;
    if (capFirst) w.Repeat(15, [](Nibbles& n) { n.Group({1, 1, 1}); });
    if (!capFirst) w.Repeat(20, [](Nibbles& n) { n.Put(0).Byte(0x80 | 'A'); });
    w.Group({9}).Put(0);
    while (w.pos < 127) w.Byte('x');
    return w.Put(0x7).area;
  };
  const struct {
    const char* name;
    Area area;
    std::string text;
    bool carriageReturn = true;  // after the text; false when it stops at 64 characters
    std::uint8_t guard = 0x41;   // the bytes around the area: characters if they were read
  } cases[] = {
      {"end at once", {0xFF}, ""},
      {"symbol group of 3", {0x13, 0xA2, 0xFF}, "12,"},
      {"literal byte with bit 7", {0xE0, 0xFC, 0xFF}, "N"},
      {"literal run of two", {0x70, 0x04, 0xFD}, "GP"},
      {"group of 14", {0x0E, 0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB, 0xFD}, "0123456789,.$G"},
      {"P and L, then a literal", {0xE2, 0x0F, 0xAA, 0x0F}, "PL*"},
      {"five groups of 14 stop at 64", Nibbles().Repeat(5, [g = 0](Nibbles& n) mutable {
         n.Put(14);
         for (int k = 0; k < 14; ++k) n.Put((g + k) % 16);
         ++g;
       }).area, fiveGroups, false},
      // Nibbles 64 on would be a symbol group if read as commands.
      {"sixteen groups of 3 end at nibble 64", Nibbles().Repeat(16, [](Nibbles& n) { n.Group({1, 2, 3}); })
                                                   .Repeat(32, [](Nibbles& n) { n.Put(2).Put(5); }).area,
       "123123123123123123123123123123123123123123123123"},
      // A group at nibble 63 takes its symbols from 64 to 66; 67 ends the text.
      {"group at nibble 63", Nibbles().Repeat(15, [](Nibbles& n) { n.Group({0, 0, 0}); })
                                 .Group({7, 8}).Group({13, 14, 15}).Put(1).area,
       std::string(45, '0') + "78GPL"},
      {"literal run cut by 64 characters", Nibbles().Repeat(4, [](Nibbles& n) {
         n.Group({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
       }).Put(0).Repeat(10, [k = 0](Nibbles& n) mutable { n.Byte('a' + k++); }).area,
       std::string(56, '1') + "abcdefgh", false},
      {"literal run cut by the area", runAt63.area, Letters('A', 21) + Letters('a', 32)},
      {"literal run cut by the area, guard C2", runAt63.area, Letters('A', 21) + Letters('a', 32), true, 0xC2},
      {"half a byte left, cap first", halfByte(true), std::string(45, '1') + "9" + std::string(18, 'x'), false, 0xFF},
      {"half a byte left", halfByte(false), std::string(20, 'A') + "9" + std::string(32, 'x'), true, 0x0F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<std::uint8_t, 192> memory;
    memory.fill(c.guard);
    std::copy(c.area.begin(), c.area.end(), memory.begin() + 64);
    std::array<std::uint8_t, 128> out;
    out.fill(0xA5);
    const int n = DecodePackedText(out.data(), memory.data() + 64);
    ASSERT_EQ(n, static_cast<int>(c.text.size()));
    EXPECT_EQ(std::string(out.begin(), out.begin() + n), c.text);
    EXPECT_EQ(out[static_cast<std::size_t>(n)], c.carriageReturn ? 0x0D : 0xA5);
  }
}

// The decoder writes over an earlier text and leaves what the later, shorter
// one does not reach.
TEST(PackedText, LeavesTheRestOfAnEarlierLongerText) {
  std::array<std::uint8_t, 128> out;
  out.fill(0xA5);
  for (const char* text : {"ABCDEFGHIJ", "$GPGLL,5", "xyz"}) {
    ASSERT_EQ(DecodePackedText(out.data(), test::EncodePackedText(text)->data()), static_cast<int>(std::strlen(text)));
  }
  EXPECT_EQ(std::string(out.begin(), out.begin() + 12), "xyz\rLL,5\rJ\r\xA5");
}

}  // namespace
}  // namespace zep
