// ConvertTk40Record: every 4096-byte block of a TK40 record becomes
// one ping record of the output file.

#include "convert/tk40_convert.h"

#include <algorithm>
#include <cstring>

#include "convert/conversion_start.h"
#include "convert/convert.h"
#include "convert/packed_text.h"
#include "disc/count_text.h"
#include "disc/file.h"
#include "disc/processor.h"
#include "disc/unit_reader.h"

namespace zep {
namespace tk40 {

std::optional<std::uint8_t> ModeForCode(std::uint8_t code) {
  if (code >= kModeTable.size()) return std::nullopt;
  return kModeTable[code];
}

namespace {

// The sample rules. s is block bytes 0..3839; every halving happens before the
// addition, and every output byte is a complement (x ^ 0xFF == 255 - x). They
// are always inlined, so that each caller below compiles them for its own
// processor, and their samples never overlap the block (__restrict), which
// lets the compiler vectorise them at -O2 as well as -O3.
inline std::uint8_t Not(unsigned x) { return static_cast<std::uint8_t>(~x); }

// Rule 1 (modes 3, 7): per triple, the complement of the halved first and third.
[[gnu::always_inline]] inline std::size_t Rule1(const std::uint8_t* __restrict s, std::uint8_t* __restrict out) {
  for (std::size_t k = 0, o = 0; k < kSampleBytes; k += 3, ++o) out[o] = Not((s[k] >> 1) + (s[k + 2] >> 1));
  return kSampleBytes / 3;
}

// Rule 2 (mode 4): per pair, the complement of the halved two.
[[gnu::always_inline]] inline std::size_t Rule2(const std::uint8_t* __restrict s, std::uint8_t* __restrict out) {
  for (std::size_t k = 0, o = 0; k < kSampleBytes; k += 2, ++o) out[o] = Not((s[k] >> 1) + (s[k + 1] >> 1));
  return kSampleBytes / 2;
}

// Rule 3 (modes 5, 8): per triple, the complements of the first and third.
[[gnu::always_inline]] inline std::size_t Rule3(const std::uint8_t* __restrict s, std::uint8_t* __restrict out) {
  std::uint8_t* o = out;
  for (std::size_t k = 0; k < kSampleBytes; k += 3) {
    *o++ = Not(s[k]);
    *o++ = Not(s[k + 2]);
  }
  return static_cast<std::size_t>(o - out);
}

// Rule 4 (modes 6, 9): every byte complemented.
[[gnu::always_inline]] inline std::size_t Rule4(const std::uint8_t* __restrict s, std::uint8_t* __restrict out) {
  for (std::size_t k = 0; k < kSampleBytes; ++k) out[k] = Not(s[k]);
  return kSampleBytes;
}

// Rule 5 (mode 10): per triple, the complements of the first, the second
// twice, and the third.
[[gnu::always_inline]] inline std::size_t Rule5(const std::uint8_t* __restrict s, std::uint8_t* __restrict out) {
  std::uint8_t* o = out;
  for (std::size_t k = 0; k < kSampleBytes; k += 3) {
    const std::uint8_t mid = Not(s[k + 1]);
    *o++ = Not(s[k]);
    *o++ = mid;
    *o++ = mid;
    *o++ = Not(s[k + 2]);
  }
  return static_cast<std::size_t>(o - out);
}

[[gnu::always_inline]] inline std::size_t ApplyRule(std::uint8_t mode, const std::uint8_t* block,
                                                    std::uint8_t* out) {
  switch (mode) {
    case 3:
    case 7:
      return Rule1(block, out);
    case 4:
      return Rule2(block, out);
    case 5:
    case 8:
      return Rule3(block, out);
    case 6:
    case 9:
      return Rule4(block, out);
    case 10:
      return Rule5(block, out);
    case 2:
      // Mode code 9 gives mode 2, which has no sample rule. The header still
      // announces 1280 bytes, so 1280 follow, and they are zeros: no sample
      // is made up from bytes whose layout is unknown.
      std::memset(out, 0, kSampleCountTable[2]);
      return kSampleCountTable[2];
    default:
      return 0;
  }
}

// Rules 1, 3 and 5 take bytes at a stride of three. Baseline x86-64 has no
// byte shuffle, so compilers leave them byte by byte, and a record of mixed
// modes then spends a quarter of its time in them. Built once more for SSSE3
// (Intel since 2006, AMD since 2011), GCC vectorises them four to six times
// faster; the processor in use decides which build runs.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define ZEP_SSSE3_RULES 1
__attribute__((target("ssse3"))) std::size_t ApplyRuleSsse3(std::uint8_t mode, const std::uint8_t* block,
                                                             std::uint8_t* out) {
  return ApplyRule(mode, block, out);
}
#endif

}  // namespace

std::size_t ConvertSamples(std::uint8_t mode, const std::uint8_t* block, std::uint8_t* out) {
#ifdef ZEP_SSSE3_RULES
  if (ProcessorHasSsse3()) return ApplyRuleSsse3(mode, block, out);
#endif
  return ApplyRule(mode, block, out);
}

std::size_t ConvertSamplesPortable(std::uint8_t mode, const std::uint8_t* block, std::uint8_t* out) {
  return ApplyRule(mode, block, out);
}

PingHeaderBuilder::PingHeaderBuilder(std::uint8_t day, std::uint8_t month, std::uint8_t year) {
  std::memcpy(header_.data() + ping::kMagic, kPingMagic, 4);
  header_[ping::kDay] = day;
  header_[ping::kMonth] = month;
  PutU16(header_.data() + ping::kYear, WidenYear(year));
}

void PingHeaderBuilder::Apply(std::uint32_t pingIndex, const std::uint8_t* block) {
  std::uint8_t* h = header_.data();
  PutU32(h + ping::kPingIndex, pingIndex);
  h[ping::kTrailer34] = block[kByte34];
  h[ping::kTrailer34 + 1] = block[kByte34 + 1];
  h[ping::kTrailer34 + 2] = block[kByte34 + 2];
  PutU16(h + ping::kTwice3972, static_cast<std::uint16_t>(2 * block[kTwice]));
  h[ping::kTrailer38] = block[kByte38];
  std::memcpy(h + ping::kTrailer14, block + kValue14, 2);
  std::memcpy(h + ping::kTrailer18, block + kValue18, 2);
  std::memcpy(h + ping::kTrailer24, block + kValue24, 2);
  std::memcpy(h + ping::kTrailer20, block + kValue20, 2);
  const auto signedByte = static_cast<std::int8_t>(block[kSigned16]);
  PutU16(h + ping::kTrailer16, static_cast<std::uint16_t>(static_cast<std::int16_t>(signedByte)));  // 0x80 -> 0xFF80
  const std::uint8_t mode = kModeTable[block[kModeCode] & 0x0F];
  h[ping::kMode] = mode;
  PutU16(h + ping::kSampleCount, kSampleCountTable[mode]);
  const std::uint8_t flags = block[kFlags];
  h[ping::kFlags] = flags & kFlagsKept;
  if (flags & ping::kFlagText) DecodePackedText(h + ping::kGpsText, block + kTextArea);
  if (flags & ping::kFlagValue26) std::memcpy(h + ping::kValue26, block + kValue26, 2);
}

}  // namespace tk40

namespace {

// What the conversion lost: blocks outside the volume, unreadable ones, and
// ones without a mode (res.skippedUnits; firstSkip says which came first).
void AddLosses(ConvertResult& res, const UnitReader& reader, const Volume& volume, const std::string& firstSkip) {
  const std::int64_t beforeStart = reader.beforeStart();
  if (auto outside = OutsideVolume(beforeStart, res.beyondEndUnits - beforeStart, res.units, "block", "blocks",
                                   "no ping made", volume)) {
    res.problems.push_back(std::move(*outside));
  }
  res.notTriedUnits = reader.notTriedUnits();
  if (res.failedUnits > 0) {
    res.problems.push_back({"",
                            Counted(res.failedUnits, "block", "blocks") + " of " + std::to_string(res.units) +
                                " could not be read" + NeverTriedPart(res) + " and gave no ping (first: " +
                                reader.firstProblem().Text() + ")",
                            res.failedUnits, ProblemKind::kUnreadable});
  }
  if (res.skippedUnits > 0) {
    res.problems.push_back({"",
                            Counted(res.skippedUnits, "block has", "blocks have") +
                                " a mode code of 11 to 15 and gave no ping (first: " + firstSkip + ")",
                            res.skippedUnits, ProblemKind::kOther});
  }
}

}  // namespace

ConvertResult ConvertTk40Blocks(Volume& volume, const RecordExtent& ext, Tk40Date date, RecordFileWriter& out,
                                const Progress& progress, ConvertResult res, UnitObserver* observer) {
  tk40::PingHeaderBuilder header(date.day, date.month, date.year);
  alignas(16) std::uint8_t samples[kMaxSampleCount];
  std::string firstSkip;
  std::int64_t skipped = 0;

  // An unreadable block gives no ping record: its bytes are unknown, and
  // repeating the previous block's would invent a ping. The gap shows in
  // pingIndex, which stays the block's place in the record.
  UnitReader reader(volume, ext);
  reader.Observe(observer);
  while (reader.Next()) {
    for (std::int64_t j = 0; j < reader.batchSize(); ++j) {
      const std::int64_t i = reader.batchFirst() + j;
      const std::uint8_t* block = reader.Unit(j).data();
      const std::uint8_t code = block[tk40::kModeCode] & 0x0F;
      const auto mode = tk40::ModeForCode(code);
      if (reader.State(j) == UnitState::Good && !mode) {
        // Mode codes 11 to 15 name no mode, so neither a sampleCount nor a
        // sample shape is known. Such a block gives no ping record and
        // leaves the header buffer untouched (its text and bytes 26-27 are
        // not carried into later pings): every text in the file then comes
        // from a ping that is in the file. Counted, like a failed block.
        if (skipped++ == 0) firstSkip = "block " + std::to_string(ext.Unit(i)) + " has mode code " + std::to_string(code);
      } else if (reader.State(j) == UnitState::Good) {
        header.Apply(static_cast<std::uint32_t>(i), block);
        const std::size_t sampleCount = tk40::ConvertSamples(*mode, block, samples);
        if (*mode == 2) ++res.zeroFilledPings;
        if (!out.Write({header.data(), kPingHeaderSize}) || !out.Write({samples, sampleCount})) {
          res.problems = {out.problem()};
          res.status = ConvertStatus::WriteFailed;
          res.bytesWritten = 0;
          return res;
        }
      }
      if (progress.setPos) progress.setPos(static_cast<std::int32_t>(i));
    }
  }
  const std::int64_t beforeStart = reader.beforeStart();
  res.failedUnits = reader.badUnits();
  res.beyondEndUnits = beforeStart + reader.pastEnd();
  if (res.beyondEndUnits > 0 && progress.setPos) progress.setPos(ext.count32 - 1);

  res.skippedUnits = skipped;
  if (!FinishConversion(out, res, res.failedUnits == 0 && skipped == 0 && res.beyondEndUnits == 0)) return res;
  AddLosses(res, reader, volume, firstSkip);
  return res;
}

}  // namespace zep
