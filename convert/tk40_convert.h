#pragma once
// The pieces of the TK40 conversion below ConvertTk40Record: the
// data block layout, the ModeTable, the sample rules and the PingHeader built
// from one block. Exposed for tests; callers use ConvertTk40Record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "convert/record_file.h"
#include "disc/directory.h"

namespace zep::tk40 {

// DataBlock layout (4096 bytes). Bytes 3840-3967 and 3984-4031 are not used.
inline constexpr std::size_t kBlockSize = 4096;
inline constexpr std::size_t kSampleBytes = 3840;  // bytes 0..3839
inline constexpr std::size_t kByte34 = 3968;       // 3968, 3969, 3970 -> header 34, 35, 36
inline constexpr std::size_t kModeCode = 3971;     // low four bits
inline constexpr std::size_t kTwice = 3972;        // doubled into header 22-23
inline constexpr std::size_t kValue14 = 3973;      // u16 -> header 14
inline constexpr std::size_t kSigned16 = 3975;     // i8 -> header 16 as i16
inline constexpr std::size_t kValue18 = 3976;      // u16 -> header 18
inline constexpr std::size_t kValue20 = 3978;      // u16 -> header 20
inline constexpr std::size_t kByte38 = 3980;       // -> header 38
inline constexpr std::size_t kFlags = 3981;
inline constexpr std::size_t kValue26 = 3982;      // u16 -> header 26 under flag bit 0
inline constexpr std::size_t kTextArea = 4032;     // 64-byte PackedText under flag bit 3
inline constexpr std::size_t kValue24 = 4094;      // last two text bytes -> header 24, always

inline constexpr std::uint8_t kFlagsKept = 0x0D;  // bits 0, 2 and 3 reach the header

// Mode code (byte 3971 & 0x0F) -> ping mode. Codes 11 to 15 have no entry.
inline constexpr std::array<std::uint8_t, 11> kModeTable = {3, 5, 6, 6, 8, 9, 10, 4, 7, 2, 3};

std::optional<std::uint8_t> ModeForCode(std::uint8_t code);

// 0x00..0x90 -> 0x2000..0x2090, 0x91..0xFF -> 0x1991..0x19FF (BCD widening).
constexpr std::uint16_t WidenYear(std::uint8_t year) {
  return static_cast<std::uint16_t>(year <= 0x90 ? year + 0x2000 : year + 0x1900);
}

// Writes the samples of a ping of the given mode, made from block bytes
// 0..3839, and returns how many: always SampleCountTable[mode]. Mode 2 (mode
// code 9) has no sample rule: its 1280 bytes are written as zeros, a filler
// that claims to be no data rather than a guess at a shape nobody specified.
// Modes the ModeTable never yields (0, 1, 11, 12 and above) write nothing and
// return 0. out must not overlap block.
std::size_t ConvertSamples(std::uint8_t mode, const std::uint8_t* block, std::uint8_t* out);

// The same rules, always in the build for any processor. ConvertSamples runs
// a build for the processor in use where there is one; the two must agree
// byte for byte, which the tests check.
std::size_t ConvertSamplesPortable(std::uint8_t mode, const std::uint8_t* block, std::uint8_t* out);

// The PingHeader of a record, block by block. It starts zeroed with the
// record's fields in place; Apply sets one block's fields over it, keeping
// the text and bytes 26-27 of the last block that set them.
class PingHeaderBuilder {
 public:
  PingHeaderBuilder(std::uint8_t day, std::uint8_t month, std::uint8_t year);

  // Fills the header for ping i from a block whose mode code has a ModeTable
  // entry, which the caller has checked.
  void Apply(std::uint32_t pingIndex, const std::uint8_t* block);

  const std::uint8_t* data() const { return header_.data(); }
  std::uint8_t mode() const { return header_[ping::kMode]; }
  std::uint16_t sampleCount() const { return GetU16(header_.data() + ping::kSampleCount); }

 private:
  std::array<std::uint8_t, kPingHeaderSize> header_{};
};

}  // namespace zep::tk40
