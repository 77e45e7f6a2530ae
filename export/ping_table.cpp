// zepconv pings: one row per ping, every field of its header and what its
// GPS text says, as CSV or JSON lines.

#include <algorithm>
#include <array>

#include <nlohmann/json.hpp>

#include "export/exports.h"
#include "export/ping_rows.h"
#include "export/text_output.h"
#include "convert/nmea.h"

namespace zep {
namespace {

constexpr const char* kKeys[] = {"file",   "offset", "ping",   "date",   "mode",   "sample_count", "flags",
                                 "u16_14", "s16_16", "u16_18", "u16_20", "u16_22", "u16_24",       "u16_26",
                                 "u8_34",  "u8_35",  "u8_36",  "u8_38",  "gps_text", "gps_sentence", "time_utc",
                                 "lat",    "lon",    "fix_valid", "checksum", "ping_time", "ping_lat", "ping_lon",
                                 "ping_position", "ping_time_source", "unread_samples", "missing_before"};

// The header fields whose meaning is not known, by offset and type.
struct RawField {
  std::size_t offset;
  enum { kU8, kU16, kS16 } type;
};
constexpr RawField kRawFields[] = {{14, RawField::kU16}, {16, RawField::kS16}, {18, RawField::kU16},
                                   {20, RawField::kU16}, {22, RawField::kU16}, {24, RawField::kU16},
                                   {26, RawField::kU16}, {34, RawField::kU8},  {35, RawField::kU8},
                                   {36, RawField::kU8},  {38, RawField::kU8}};

const char* ChecksumName(NmeaChecksum c) {
  switch (c) {
    case NmeaChecksum::kOk: return "ok";
    case NmeaChecksum::kMissing: return "missing";
    case NmeaChecksum::kBad: return "bad";
  }
  return "";
}

// The GPS text of a ping and what it says, and its date; pings repeat the
// text of the one before until a new one comes, and the date for the whole
// record, so each is read again only when its bytes change.
struct PingCache {
  bool json = false;  // cells are written as JSON values, else as CSV fields
  std::array<std::uint8_t, ping::kGpsTextSize> raw{};
  bool seen = false;
  std::string textCell;  // the text as its format writes it
  std::optional<NmeaPosition> nmea;
  std::string lat, lon, time;
  std::uint32_t dateKey = 0xFFFFFFFF;
  std::string date;
  std::string scratch;  // a cell made for one row, its room kept for the next

  void Update(const PingInfo& p) {
    const std::uint32_t key = static_cast<std::uint32_t>(p.year) << 16 | p.month << 8 | p.day;
    if (key != dateKey) {
      dateKey = key;
      const auto d = DateFromBcd(p.year, p.month, p.day);
      date = d ? FormatIsoDate(*d) : "";
    }
    const std::uint8_t* text = p.header.data() + ping::kGpsText;
    if (seen && std::equal(raw.begin(), raw.end(), text)) return;
    seen = true;
    std::copy_n(text, raw.size(), raw.begin());
    const std::string stored = StoredGpsText(p);
    textCell.clear();
    if (json) AppendJsonString(textCell, Latin1ToUtf8(stored));
    else AppendCsvField(textCell, Latin1ToUtf8(stored));
    nmea = ParseNmeaPosition(stored);
    lat = nmea && nmea->lat ? FormatDegrees(*nmea->lat) : "";
    lon = nmea && nmea->lon ? FormatDegrees(*nmea->lon) : "";
    time = nmea && nmea->timeOfDayMs ? FormatTimeOfDay(*nmea->timeOfDayMs) : "";
  }
};

// missingBefore: the pings missing right before this one, by the indexes
// pingIndex - missingBefore to pingIndex - 1.
void WriteRow(RowWriter& row, std::string_view file, const PingInfo& p, PingCache& gps, const PingPlace& place,
              std::uint32_t missingBefore) {
  row.Begin();
  row.Number(file);
  row.Int(static_cast<std::int64_t>(p.offset));
  row.Int(p.pingIndex);
  if (gps.date.empty()) row.Null();
  else row.Text(gps.date);
  row.Int(p.mode);
  row.Int(p.sampleCount);
  row.Int(p.flags);
  for (const RawField& f : kRawFields) {
    const std::uint8_t* at = p.header.data() + f.offset;
    if (f.type == RawField::kU8) row.Int(*at);
    else if (f.type == RawField::kU16) row.Int(GetU16(at));
    else row.Int(static_cast<std::int16_t>(GetU16(at)));
  }
  row.Number(gps.textCell);
  if (!gps.nmea) {
    for (int i = 0; i < 6; ++i) row.Null();
  } else {
    row.Text(gps.nmea->type);
    if (gps.time.empty()) row.Null();
    else row.Text(gps.time);
    if (gps.lat.empty()) {
      row.Null();
      row.Null();
    } else {
      row.Number(gps.lat);
      row.Number(gps.lon);
    }
    row.Bool(gps.nmea->fixValid);
    row.Text(ChecksumName(gps.nmea->checksum));
  }
  if (place.timeNs) {
    gps.scratch.clear();
    AppendIsoTime(gps.scratch, *place.timeNs / 1000000);
    row.Text(gps.scratch);
  } else {
    row.Null();
  }
  if (place.source == PlaceSource::kNone) {
    row.Null();
    row.Null();
  } else {
    row.Number(FormatDegrees(place.lat));
    row.Number(FormatDegrees(place.lon));
  }
  row.Text(PlaceSourceName(place.source));
  row.Text(TimeSourceName(place.timeSource));
  row.Int(p.UnreadSamples());
  row.Int(missingBefore);
  row.End();
}

}  // namespace

struct PingRows::GpsCells : PingCache {};

PingRows::PingRows(std::string& out, bool jsonl, std::string_view file)
    : row_(out, jsonl, kKeys), gps_(std::make_unique<GpsCells>()) {
  if (jsonl) file_ = nlohmann::json(std::string(file)).dump(-1, ' ', false, kReplaceInvalid);
  else AppendCsvField(file_, file);
  gps_->json = jsonl;
}

PingRows::~PingRows() = default;

void PingRows::Header() { row_.Header(); }

void PingRows::Row(const PingInfo& p, const PingPlace& place, std::uint32_t missingBefore) {
  gps_->Update(p);
  WriteRow(row_, file_, p, *gps_, place, missingBefore);
}

std::uint32_t MissingBefore(const PingInfo& p, std::optional<std::uint32_t> lastIndex) {
  return lastIndex && p.pingIndex > *lastIndex ? p.pingIndex - *lastIndex - 1 : 0;
}

Outcome WritePingTable(Sink& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath) {
  if (WouldOverwriteInput(con, outPath, files)) return Outcome::kRefused;
  TextOutput out(con, outPath);
  if (!out.open()) {
    con.Report(out.problem());
    return Outcome::kRefused;
  }
  if (!jsonl) PingRows(out.text(), false, "").Header();
  WalkCounts counts;
  for (const std::string& path : files) {
    PingRows rows(out.text(), jsonl, path);
    PingLocator locator(path);
    std::optional<std::uint32_t> last;
    WalkAndReport(con, path, [&](const PingInfo& p) {
      rows.Row(p, locator.Next(p), MissingBefore(p, last));
      last = p.pingIndex;
      out.Flush();
    }, counts);
  }
  return FinishOutput(out, counts);
}

}  // namespace zep
