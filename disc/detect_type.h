#pragma once
// Which recorder wrote a disc, from the disc's own evidence. The two
// generations' directories differ in three telling ways: the byte that ends a
// name (0xFF on TK40, 0x0D on ZEP V1.X), where the BCD date sits (bytes 13-15
// of an entry on TK40, 12-14 on ZEP V1.X), and, on ZEP V1.X, that a record's
// first copied sector opens a ping record. Each slot in use is weighed on its
// own; a layout wins when more slots fit it alone than the other, and the
// slots that fit it are a majority of those in use.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/directory.h"

namespace zep {

enum class DiscKind {
  Tk40,
  ZepV1,
  Blank,      // the directory is all zeros: a disc with no records
  NoRecords,  // no slot in use under either layout
  Unknown,    // the evidence fits neither layout, or both alike
};

struct SlotEvidence {
  int slot = 0;
  bool label = false;     // slot 63 with status 2
  bool strange = false;   // a status that neither layout uses there
  bool tk40Name = false;  // ends in 0xFF, or fills all 11 bytes
  bool zepName = false;   // ends in 0x0D, or fills all 11 bytes
  bool tk40Date = false;  // a BCD date at bytes 13-15
  bool zepDate = false;   // a BCD date at bytes 12-14
  bool opensPing = false;  // ZEP V1.X sector firstSector + 2 opens a ping record
  // A first copied sector that opens a ping record is evidence enough for ZEP
  // V1.X: TK40 blocks hold raw samples, never a ping header.
  bool fitsTk40() const { return !strange && !opensPing && tk40Name && (label || tk40Date); }
  bool fitsZep() const { return !strange && ((zepName && (label || zepDate)) || opensPing); }
};

struct TypeEvidence {
  DiscKind kind = DiscKind::Unknown;
  std::vector<SlotEvidence> slots;  // every slot in use, in slot order
  int fitTk40 = 0, fitZep = 0, opensPing = 0, strange = 0;
  std::optional<SourceType> type() const;
  // No slot in use fits `chosen`, and some fit the other type: converting as
  // `chosen` would turn every record into junk. Evidence that fits neither
  // type rules nothing out.
  bool RulesOut(SourceType chosen) const;
  // One line: the verdict and what it rests on.
  std::string Describe() const;
};

// Whether ZEP V1.X sector s opens a ping record; the caller reads the disc.
using PingProbe = std::function<bool(std::int64_t sector)>;

TypeEvidence DetectDiscType(const RecordDirectory& dir, const PingProbe& opensPingRecord);

const char* SourceTypeName(SourceType type);  // "TK40", "ZEP V1.X"

}  // namespace zep
