// DecodePackedText: the worked cases, the 64-character
// cap, nibble position 64, literal runs at the end of the area, leftovers of an
// earlier text, and that nothing outside the area is read or outside the
// 64 bytes of output written.

#include "convert/packed_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/packed_text_encoder.h"

namespace zep {
namespace {

constexpr std::uint8_t kUntouched = 0xA5;

// Builds an area nibble by nibble, low half first; unwritten nibbles are 0.
class Nibbles {
 public:
  Nibbles& Put(int v) {
    EXPECT_LT(pos_, 128);
    area_[pos_ >> 1] = static_cast<std::uint8_t>(area_[pos_ >> 1] | (v & 0xF) << ((pos_ & 1) * 4));
    ++pos_;
    return *this;
  }
  // A literal byte, low half first.
  Nibbles& Byte(std::uint8_t b) { return Put(b & 0xF).Put(b >> 4); }
  int pos() const { return pos_; }
  const std::array<std::uint8_t, 64>& area() const { return area_; }

 private:
  std::array<std::uint8_t, 64> area_{};
  int pos_ = 0;
};

struct Decoded {
  std::array<std::uint8_t, 128> out;
  int n;
};

// Decodes with the area placed inside guard bytes that would decode to
// characters if they were read, and an output buffer full of a marker.
Decoded Decode(const std::array<std::uint8_t, 64>& area, std::uint8_t guard = 0x41) {
  std::array<std::uint8_t, 192> memory;
  memory.fill(guard);
  std::memcpy(memory.data() + 64, area.data(), 64);
  Decoded d;
  d.out.fill(kUntouched);
  d.n = DecodePackedText(d.out.data(), memory.data() + 64);
  return d;
}

std::array<std::uint8_t, 64> AreaOf(std::vector<std::uint8_t> bytes, std::uint8_t fill = 0) {
  std::array<std::uint8_t, 64> a;
  a.fill(fill);
  std::copy(bytes.begin(), bytes.end(), a.begin());
  return a;
}

std::string Text(const Decoded& d) { return std::string(d.out.begin(), d.out.begin() + d.n); }

struct WorkedCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::string text;
};

// The worked edge cases; each ends with a carriage return.
const WorkedCase kWorked[] = {
    {"end at once, 0x0F", {0x0F}, ""},
    {"end at once, 0xFF", {0xFF}, ""},
    {"symbol group of 3", {0x13, 0xA2, 0xFF}, "12,"},
    {"literal byte with bit 7", {0xE0, 0xFC, 0xFF}, "N"},
    {"literal run of two", {0x70, 0x04, 0xFD}, "GP"},
    {"group of 14", {0x0E, 0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB, 0xFD}, "0123456789,.$G"},
    {"P and L, then a literal", {0xE2, 0x0F, 0xAA, 0x0F}, "PL*"},
};

TEST(PackedText, WorkedCases) {
  for (const WorkedCase& c : kWorked) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(AreaOf(c.bytes));
    EXPECT_EQ(d.n, static_cast<int>(c.text.size()));
    EXPECT_EQ(Text(d), c.text);
    EXPECT_EQ(d.out[d.n], 0x0D);
    EXPECT_EQ(d.out[d.n + 1], kUntouched);
  }
}

TEST(PackedText, FiveGroupsOf14StopAt64WithoutCarriageReturn) {
  Nibbles w;
  for (int g = 0; g < 5; ++g) {
    w.Put(14);
    for (int k = 0; k < 14; ++k) w.Put((g + k) % 16);
  }
  const Decoded d = Decode(w.area());
  EXPECT_EQ(d.n, 64);
  const char* alphabet = "0123456789,.$GPL";
  for (int i = 0; i < 64; ++i) EXPECT_EQ(d.out[i], alphabet[(i / 14 + i % 14) % 16]) << i;
  for (int i = 64; i < 128; ++i) EXPECT_EQ(d.out[i], kUntouched) << i;
}

TEST(PackedText, SixteenGroupsOf3EndAtNibble64) {
  Nibbles w;
  for (int g = 0; g < 16; ++g) w.Put(3).Put(1).Put(2).Put(3);
  ASSERT_EQ(w.pos(), 64);
  // Nibbles 64 on hold data that would be a symbol group if read as commands.
  for (int k = 64; k < 128; ++k) w.Put(k % 2 ? 5 : 2);
  const Decoded d = Decode(w.area());
  EXPECT_EQ(d.n, 48);
  std::string expected;
  for (int g = 0; g < 16; ++g) expected += "123";
  EXPECT_EQ(Text(d), expected);
  EXPECT_EQ(d.out[48], 0x0D);
  EXPECT_EQ(d.out[49], kUntouched);
}

TEST(PackedText, GroupAtNibble63RunsIntoTheDataHalf) {
  // Commands up to 62, then a group of 3 at nibble 63 whose symbols are
  // nibbles 64 to 66; the next command position, 67, ends the text.
  Nibbles w;
  for (int g = 0; g < 15; ++g) w.Put(3).Put(0).Put(0).Put(0);  // 60 nibbles, 45 characters
  w.Put(2).Put(7).Put(8);                                       // 63 nibbles, 47 characters
  ASSERT_EQ(w.pos(), 63);
  w.Put(3).Put(13).Put(14).Put(15).Put(1);  // a 1 at 67 is data, never a command
  const Decoded d = Decode(w.area());
  EXPECT_EQ(d.n, 50);
  EXPECT_EQ(Text(d).substr(45), "78GPL");
  EXPECT_EQ(d.out[50], 0x0D);
}

TEST(PackedText, LiteralRunCutBy64Characters) {
  Nibbles w;
  for (int g = 0; g < 4; ++g) {
    w.Put(14);
    for (int k = 0; k < 14; ++k) w.Put(1);
  }  // 60 nibbles, 56 characters
  w.Put(0);
  for (int k = 0; k < 10; ++k) w.Byte(static_cast<std::uint8_t>('a' + k));  // bit 7 clear: the run goes on
  const Decoded d = Decode(w.area());
  EXPECT_EQ(d.n, 64);
  EXPECT_EQ(Text(d).substr(56), "abcdefgh");
  EXPECT_EQ(d.out[64], kUntouched);
}

TEST(PackedText, LiteralRunCutByTheEndOfTheArea) {
  // 21 one-character literal runs fill nibbles 0 to 62; a run at nibble 63
  // takes its bytes from nibbles 64 to 127 (32 characters) and would need
  // nibble 128 next. It ends there and the text ends with a carriage return.
  for (const std::uint8_t guard : {std::uint8_t{0x41}, std::uint8_t{0xC2}, std::uint8_t{0x00}}) {
    SCOPED_TRACE(guard);
    Nibbles w;
    for (int k = 0; k < 21; ++k) w.Put(0).Byte(static_cast<std::uint8_t>(0x80 | ('A' + k)));
    ASSERT_EQ(w.pos(), 63);
    w.Put(0);
    for (int k = 0; k < 32; ++k) w.Byte(static_cast<std::uint8_t>('a' + k % 26));
    ASSERT_EQ(w.pos(), 128);
    const Decoded d = Decode(w.area(), guard);
    EXPECT_EQ(d.n, 53);
    std::string expected;
    for (int k = 0; k < 21; ++k) expected += static_cast<char>('A' + k);
    for (int k = 0; k < 32; ++k) expected += static_cast<char>('a' + k % 26);
    EXPECT_EQ(Text(d), expected);
    EXPECT_EQ(d.out[53], 0x0D);
    EXPECT_EQ(d.out[54], kUntouched);
  }
}

TEST(PackedText, LiteralByteHalfInsideTheAreaIsNotWritten) {
  // Command 0 at nibble 62: bytes at 63-64, ..., 125-126; the next byte
  // would be nibbles 127 and 128.
  Nibbles w;
  for (int g = 0; g < 15; ++g) w.Put(3).Put(1).Put(1).Put(1);  // 60 nibbles, 45 characters
  w.Put(1).Put(9);                                              // 62 nibbles, 46 characters
  w.Put(0);
  while (w.pos() < 127) w.Byte('x');  // 32 bytes, bit 7 clear
  w.Put(0x7);                          // nibble 127: half of a byte
  const Decoded d = Decode(w.area(), 0xFF);
  // 46 + 18 literal characters reach the cap before the area ends.
  EXPECT_EQ(d.n, 64);

  Nibbles v;
  for (int k = 0; k < 20; ++k) v.Put(0).Byte(0x80 | 'A');  // 60 nibbles, 20 characters
  v.Put(1).Put(9);                                          // 62 nibbles, 21 characters
  v.Put(0);
  while (v.pos() < 127) v.Byte('x');
  v.Put(0x7);
  const Decoded e = Decode(v.area(), 0x0F);
  EXPECT_EQ(e.n, 21 + 32);
  EXPECT_EQ(e.out[53], 0x0D);
}

TEST(PackedText, LeavesTheRestOfAnEarlierLongerText) {
  std::array<std::uint8_t, 128> out;
  out.fill(kUntouched);
  const auto longer = test::EncodePackedText("$GPGLL,5");
  const auto shorter = test::EncodePackedText("N,E");
  ASSERT_TRUE(longer && shorter);
  ASSERT_EQ(DecodePackedText(out.data(), longer->data()), 8);
  ASSERT_EQ(DecodePackedText(out.data(), shorter->data()), 3);
  // "N,E", its carriage return, then the longer text's characters 4 to 7 and
  // its own carriage return.
  EXPECT_EQ(std::string(out.begin(), out.begin() + 9), std::string("N,E\rLL,5\r"));
  EXPECT_EQ(out[9], kUntouched);
}

TEST(PackedText, TenCharactersThenThree) {
  // The classic case: characters 5 to 10 of the old text stay behind the new
  // carriage return.
  std::array<std::uint8_t, 128> out;
  out.fill(kUntouched);
  const auto ten = test::EncodePackedText("ABCDEFGHIJ");
  const auto three = test::EncodePackedText("xyz");
  ASSERT_TRUE(ten && three);
  DecodePackedText(out.data(), ten->data());
  DecodePackedText(out.data(), three->data());
  EXPECT_EQ(std::string(out.begin(), out.begin() + 11), std::string("xyz\rEFGHIJ\r"));
}

}  // namespace
}  // namespace zep
