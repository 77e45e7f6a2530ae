// zepconv netcdf with netCDF-C: one netCDF-4 file per record file, written
// as the file is walked, a block of pings at a time, so memory stays the
// same whatever the record's length.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

#include "convert/nmea.h"
#include "disc/file.h"
#include "disc/text_file.h"
#include "export/netcdf.h"
#include "export/netcdf_api.h"
#include "export/ping_place.h"
#include "export/text_output.h"
#include "export/track.h"
#include "export/write_apart.h"
#include "zep_version.h"

namespace zep {
namespace {

// netCDF-C, from the module; set before any file is written.
const NetcdfApi* nc = nullptr;

// What netCDF-C said, thrown out of the writing to the one place that names
// the file.
struct NcError {
  Problem problem;
};

// The system's own reason for a failed call, where it gave one that is about
// the output: netCDF-C says "HDF error" for any write HDF5 could not make,
// and "Permission denied" for any file HDF5 could not create, a full disk
// included. errno is cleared after each call that worked, so that what it
// holds comes from the call that failed.
std::optional<std::string> SystemReason() {
  const int e = errno;
#ifdef EDQUOT
  constexpr int kQuota = EDQUOT;
#else
  constexpr int kQuota = ENOSPC;  // Windows has no quotas of its own errno
#endif
  for (int about : {ENOSPC, kQuota, EFBIG, EIO, EROFS}) {
    if (e == about) return std::generic_category().message(e);
  }
  return std::nullopt;
}

void Check(int status, const char* call) {
  if (status == NC_NOERR) {
    errno = 0;
    return;
  }
  const std::string what = SystemReason().value_or(std::string(call) + ": " + nc->strerror(status));
  throw NcError{{"", what, 0, ProblemKind::kWriteFailed}};
}

// Samples are 0 to 255, so -1 is never one: the cells after a ping's last
// sample, and xarray's NaN once it decodes the int16 into floats.
constexpr short kSampleFill = -1;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr long long kNoTime = std::numeric_limits<long long>::min();

// How a ping got its ping_time.
enum NcTimeSource : signed char {
  kTimeFix = 0,           // the fix its own text gives
  kTimeInterpolated = 1,  // between the fixes before and after it
  kTimeFollowing = 2,     // none of its own: 1 ns after the ping before
  kTimeRaised = 3,        // its time was not after the ping before's: raised to 1 ns after it
  kTimeExtrapolated = 4,  // after the last fix or before the first, at the record's ping rate
};

// What the walk before the writing finds: the longest ping sets the
// range_sample dimension, and the pings and modes say which recorder it was.
struct Survey {
  RecordWalk walk;
  std::uint64_t pings = 0;
  std::uint16_t maxSamples = 0;
  bool tk40Modes = true;  // only the modes the TK40 conversion writes (2 to 10)
  bool sectorPadding = false;
  bool sectorLength = false;  // the pings fill whole 2048-byte sectors
};

Survey SurveyFile(const std::string& path) {
  Survey s;
  PingReader reader(path);
  while (reader.Next()) {
    ++s.pings;
    s.maxSamples = std::max(s.maxSamples, reader.ping().sampleCount);
    if (reader.ping().mode < 2 || reader.ping().mode > 10) s.tk40Modes = false;
  }
  s.walk = reader.walk();
  s.sectorPadding = reader.walk().padding > 0;
  s.sectorLength = reader.walk().size >= kFileHeaderSize && (reader.walk().size - kFileHeaderSize) % 2048 == 0;
  return s;
}

// The record file says which recorder wrote it only indirectly: a ZEP V1.X
// copy is whole sectors, often with zeros after the last ping, and may hold
// modes the TK40 conversion never writes.
std::string RecorderOf(const Survey& s) {
  if (s.sectorPadding || !s.tk40Modes) return "ZEP V1.X";
  if (!s.sectorLength) return "TK40";
  return "TK40 or ZEP V1.X";
}

std::string IsoNow() {
  const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
  std::string text = FormatIsoTime(now.time_since_epoch().count());
  return text;
}

struct VendorField {
  const char* name;
  std::size_t offset;
  nc_type type;
  const char* longName;
};
// Every PingHeader field the ping table gives, by offset and type.
constexpr VendorField kVendorFields[] = {
    {"sample_count", ping::kSampleCount, NC_USHORT, "PingHeader sampleCount: sample bytes after the header"},
    {"ping_index", ping::kPingIndex, NC_UINT, "PingHeader pingIndex"},
    {"u16_14", 14, NC_USHORT, "PingHeader bytes 14-15 (unsigned 16-bit; meaning unknown)"},
    {"s16_16", 16, NC_SHORT, "PingHeader bytes 16-17 (signed 16-bit; meaning unknown)"},
    {"u16_18", 18, NC_USHORT, "PingHeader bytes 18-19 (unsigned 16-bit; meaning unknown)"},
    {"u16_20", 20, NC_USHORT, "PingHeader bytes 20-21 (unsigned 16-bit; meaning unknown)"},
    {"u16_22", 22, NC_USHORT, "PingHeader bytes 22-23 (unsigned 16-bit; meaning unknown)"},
    {"u16_24", 24, NC_USHORT, "PingHeader bytes 24-25 (unsigned 16-bit; meaning unknown)"},
    {"u16_26", 26, NC_USHORT, "PingHeader bytes 26-27 (unsigned 16-bit; meaning unknown)"},
    {"year_bcd", ping::kYear, NC_USHORT, "PingHeader year, four BCD digits (0x2008 for 2008)"},
    {"month_bcd", ping::kMonth, NC_UBYTE, "PingHeader month, BCD"},
    {"day_bcd", ping::kDay, NC_UBYTE, "PingHeader day of month, BCD"},
    {"u8_34", 34, NC_UBYTE, "PingHeader byte 34 (meaning unknown)"},
    {"u8_35", 35, NC_UBYTE, "PingHeader byte 35 (meaning unknown)"},
    {"u8_36", 36, NC_UBYTE, "PingHeader byte 36 (meaning unknown)"},
    {"mode", ping::kMode, NC_UBYTE, "PingHeader mode: the index into the sample-count table"},
    {"u8_38", 38, NC_UBYTE, "PingHeader byte 38 (meaning unknown)"},
    {"flags", ping::kFlags, NC_UBYTE, "PingHeader flags"},
};

double FieldValue(const VendorField& f, const std::uint8_t* header) {
  switch (f.type) {
    case NC_UBYTE: return header[f.offset];
    case NC_SHORT: return static_cast<std::int16_t>(GetU16(header + f.offset));
    case NC_UINT: return GetU32(header + f.offset);
    default: return GetU16(header + f.offset);
  }
}

// The groups of the file, in the order they are made.
enum Grp { kRoot, kProvenance, kSonar, kBeam, kPlatform, kEnvironment, kVendor, kGroupCount };
constexpr const char* kGroupNames[] = {"", "Provenance", "Sonar", "Beam_group1", "Platform", "Environment",
                                       "Vendor_specific"};
constexpr Grp kParentOf[] = {kRoot, kRoot, kRoot, kSonar, kRoot, kRoot, kRoot};

// kRangeLength stands for the samples of the longest ping.
constexpr std::size_t kRangeLength = std::numeric_limits<std::size_t>::max();
struct DimDef {
  Grp group;
  const char* name;
  std::size_t length;
};
constexpr DimDef kDims[] = {
    {kProvenance, "filenames", 1},   {kSonar, "channel_all", 1},        {kSonar, "beam_group", 1},
    {kBeam, "channel", 1},           {kBeam, "ping_time", NC_UNLIMITED}, {kBeam, "range_sample", kRangeLength},
    {kPlatform, "time1", NC_UNLIMITED}, {kPlatform, "ping_time", NC_UNLIMITED}, {kEnvironment, "channel", 1},
    {kVendor, "ping_time", NC_UNLIMITED}, {kVendor, "gps_text_length", ping::kGpsTextSize},
};

// Text attributes of the groups that are the same in every file.
struct GroupText {
  Grp group;
  const char* name;
  const char* text;
};
constexpr GroupText kGroupTexts[] = {
    {kRoot, "Conventions", "CF-1.7, SONAR-netCDF4-1.0, ACDD-1.3"},
    {kRoot, "sonar_convention_authority", "ICES"},
    {kRoot, "sonar_convention_name", "SONAR-netCDF4"},
    {kRoot, "sonar_convention_version", "1.0"},
    {kProvenance, "conversion_software_name", "zepconv"},
    {kSonar, "sonar_manufacturer", ""},
    {kSonar, "sonar_serial_number", ""},
    {kSonar, "sonar_software_name", ""},
    {kSonar, "sonar_software_version", ""},
    {kSonar, "sonar_type", "echosounder"},
    {kBeam, "beam_mode", "vertical"},
    {kBeam, "conversion_equation_type", "none: the samples are raw and uncalibrated"},
    {kPlatform, "platform_name", ""},
    {kPlatform, "platform_type", ""},
    {kPlatform, "platform_code_ICES", ""},
    {kVendor, "comment", "Every field of each ping's 256-byte PingHeader, as the record file holds it"},
};

// One ping as the per-ping variables see it.
struct PingRow {
  const std::uint8_t* header;
  std::uint64_t offset;
  const PingPlace& place;
  NcTimeSource timeSource;
};

// How a variable is shaped, filled and written.
enum class Role {
  kText,      // one string per channel (or file name), written once
  kPingTime,  // int64 nanoseconds per ping
  kPerPing,   // one value per ping, from PingRow
  kConstant,  // one value per channel that the recording does not give
  kRange,     // the sample numbers 0 ... range_sample - 1
  kSamples,   // the samples themselves
  kFixTime,   // int64 nanoseconds per GPS fix
  kPerFix,    // one value per GPS fix, from TrackPoint
  kGpsText,   // each ping's GPS text
};

constexpr const char* kChannel = "channel 1";
constexpr const char* kNsUnits = "nanoseconds since 1970-01-01T00:00:00Z";

struct VarDef {
  Grp group;
  const char* name;
  Role role;
  nc_type type;
  std::array<const char*, 3> dims;  // by name, in the variable's group
  const char* longName;
  const char* units = nullptr;
  const char* text = nullptr;                // kText: the value; nothing for the source file's name
  double (*perPing)(const PingRow&) = nullptr;
  double (*perFix)(const TrackPoint&) = nullptr;
  bool nanFill = false;                      // kPerPing doubles: NaN where there is no value
  std::optional<double> substitute;          // kConstant: the stand-in where a reader needs a value
  const char* flagMeanings = nullptr;        // a flag variable of values 0, 1, ... named by these words
  std::array<std::pair<const char*, const char*>, 4> attrs{};  // further text attributes

  constexpr VarDef With(const char* attr, const char* value) const {
    VarDef d = *this;
    for (auto& a : d.attrs) {
      if (!a.first) {
        a = {attr, value};
        break;
      }
    }
    return d;
  }
};

constexpr VarDef Text(Grp g, const char* name, const char* dim, const char* longName, const char* text) {
  return {.group = g, .name = name, .role = Role::kText, .type = NC_STRING, .dims = {dim}, .longName = longName,
          .text = text};
}
constexpr VarDef PingTime(Grp g, const char* longName) {
  return VarDef{.group = g, .name = "ping_time", .role = Role::kPingTime, .type = NC_INT64, .dims = {"ping_time"},
                .longName = longName, .units = kNsUnits}
      .With("calendar", "gregorian");
}
constexpr VarDef PerPing(Grp g, const char* name, nc_type type, const char* longName, double (*value)(const PingRow&),
                         const char* units = nullptr) {
  return {.group = g, .name = name, .role = Role::kPerPing, .type = type, .dims = {"ping_time"},
          .longName = longName, .units = units, .perPing = value, .nanFill = type == NC_DOUBLE};
}
constexpr VarDef Constant(Grp g, const char* name, const char* longName, const char* units,
                          std::optional<double> substitute = std::nullopt, nc_type type = NC_DOUBLE) {
  return {.group = g, .name = name, .role = Role::kConstant, .type = type, .dims = {"channel"},
          .longName = longName, .units = units, .substitute = substitute};
}
constexpr VarDef PerFix(const char* name, nc_type type, const char* longName, double (*value)(const TrackPoint&),
                        const char* units = nullptr) {
  return {.group = kPlatform, .name = name, .role = Role::kPerFix, .type = type, .dims = {"time1"},
          .longName = longName, .units = units, .perFix = value};
}

double HeaderField(const PingRow& r, std::size_t field) { return FieldValue(kVendorFields[field], r.header); }
double Placed(const PingRow& r, double value) { return r.place.source != PlaceSource::kNone ? value : kNaN; }
double PositionSource(const PingRow& r) {
  return r.place.source == PlaceSource::kFix ? 0 : r.place.source == PlaceSource::kInterpolated ? 1 : 2;
}
constexpr auto kLat = [](const PingRow& r) { return Placed(r, r.place.lat); };
constexpr auto kLon = [](const PingRow& r) { return Placed(r, r.place.lon); };

constexpr const char* kUnknown = nullptr;  // no units: the convention's quantity, not given by the recording
constexpr VarDef kVariables[] = {
    Text(kProvenance, "source_filenames", "filenames", "Source filenames", nullptr),
    Text(kSonar, "channel_all", "channel_all", "All channels", kChannel),
    Text(kSonar, "beam_group", "beam_group", "Beam groups", "Beam_group1"),
    Text(kSonar, "beam_group_descr", "beam_group", "Beam group description",
         "Raw 8-bit samples of the one channel, uncalibrated"),

    Text(kBeam, "channel", "channel", "Channel identifier", kChannel),
    PingTime(kBeam, "Time of the ping")
        .With("standard_name", "time")
        .With("axis", "T")
        .With("comment",
              "Strictly increasing. The time of the ping's own fix, or interpolated between the fixes around it "
              "(ping_time_source 0 and 1), or extrapolated from the nearest fix at the record's own ping rate "
              "after the last fix or before the first (4); a ping with no time at all, or one not after the ping "
              "before, is given 1 ns after the ping before (2 and 3); before any time is known, midnight UTC of the ping's "
              "date, or 1970-01-01 when it has none"),
    [] {
      VarDef d = PerPing(kBeam, "ping_time_source", NC_BYTE, "How the ping got its ping_time",
                         [](const PingRow& r) { return static_cast<double>(r.timeSource); });
      d.flagMeanings = "fix interpolated none_previous_plus_1ns raised_to_previous_plus_1ns extrapolated";
      return d;
    }(),
    {.group = kBeam, .name = "range_sample", .role = Role::kRange, .type = NC_INT, .dims = {"range_sample"},
     .longName = "Along-range sample number, base 0"},
    VarDef{.group = kBeam, .name = "backscatter_r", .role = Role::kSamples, .type = NC_SHORT,
           .dims = {"channel", "ping_time", "range_sample"},
           .longName = "Raw backscatter samples, uncalibrated: the recorder's 8-bit values (0 to 255) as the "
                       "record file holds them",
           .units = "count"}
        .With("comment", "_FillValue after a ping's last sample (sample_count)"),
    PerPing(kBeam, "sample_count", NC_USHORT, "Samples of the ping", [](const PingRow& r) { return HeaderField(r, 0); }),
    PerPing(kBeam, "mode", NC_UBYTE, "The ping's mode (index of its sample count)",
            [](const PingRow& r) { return HeaderField(r, 15); }),
    PerPing(kBeam, "ping_index", NC_UINT, "The ping's index in its record",
            [](const PingRow& r) { return HeaderField(r, 1); }),
    PerPing(kBeam, "platform_latitude", NC_DOUBLE, "Platform latitude at the ping", kLat, "degrees_north"),
    PerPing(kBeam, "platform_longitude", NC_DOUBLE, "Platform longitude at the ping", kLon, "degrees_east"),
    // The convention's mandatory beam variables the recording does not give.
    Constant(kBeam, "beam_type", "Type of transducer (0: single)", kUnknown, 0.0, NC_INT),
    Constant(kBeam, "beam_stabilisation", "Beam stabilisation applied (0: not stabilised)", kUnknown, 0.0, NC_BYTE),
    Constant(kBeam, "non_quantitative_processing", "Presence or not of non-quantitative processing (0: none)",
             kUnknown, 0.0, NC_SHORT),
    Constant(kBeam, "transmit_type", "Type of transmitted pulse (0: CW)", kUnknown, 0.0, NC_BYTE),
    Constant(kBeam, "beam_direction_x", "x-component of the beam direction vector", "1", 0.0),
    Constant(kBeam, "beam_direction_y", "y-component of the beam direction vector", "1", 0.0),
    Constant(kBeam, "beam_direction_z", "z-component of the beam direction vector", "1", 1.0),
    Constant(kBeam, "sample_time_offset", "Time offset applied to sample time-stamps", "s", 0.0),
    Constant(kBeam, "beamwidth_receive_major", "Half power one-way receive beam width along major axis", "arc_degree"),
    Constant(kBeam, "beamwidth_receive_minor", "Half power one-way receive beam width along minor axis", "arc_degree"),
    Constant(kBeam, "beamwidth_transmit_major", "Half power one-way transmit beam width along major axis", "arc_degree"),
    Constant(kBeam, "beamwidth_transmit_minor", "Half power one-way transmit beam width along minor axis", "arc_degree"),
    Constant(kBeam, "equivalent_beam_angle", "Equivalent beam angle", "sr"),
    Constant(kBeam, "gain_correction", "Gain correction", "dB"),
    Constant(kBeam, "receiver_sensitivity", "Receiver sensitivity", "dB re 1/uPa"),
    Constant(kBeam, "sample_interval", "Interval between recorded raw data samples", "s"),
    Constant(kBeam, "transducer_gain", "Gain of transducer", "dB"),
    Constant(kBeam, "transmit_bandwidth", "Nominal bandwidth of transmitted pulse", "Hz"),
    Constant(kBeam, "transmit_duration_nominal", "Nominal duration of transmitted pulse", "s"),
    Constant(kBeam, "transmit_frequency_start", "Start frequency in transmitted pulse", "Hz"),
    Constant(kBeam, "transmit_frequency_stop", "Stop frequency in transmitted pulse", "Hz"),
    Constant(kBeam, "frequency_nominal", "Transducer frequency", "Hz"),
    Constant(kBeam, "transmit_power", "Nominal transmit power", "W"),
    Constant(kBeam, "transmit_source_level", "Transmit source level", "dB re 1 uPa at 1m"),
    Constant(kBeam, "time_varied_gain", "Time-varied-gain coefficients", "dB"),
    Constant(kBeam, "blanking_interval", "Beam blanking interval", "s"),
    Constant(kBeam, "tx_transducer_depth", "Tx transducer depth below waterline", "m"),

    VarDef{.group = kPlatform, .name = "time1", .role = Role::kFixTime, .type = NC_INT64, .dims = {"time1"},
           .longName = "Timestamps of the GPS fixes", .units = kNsUnits}
        .With("standard_name", "time")
        .With("calendar", "gregorian")
        .With("comment", "Each fix once, at the ping whose text first gives it; _FillValue where the fix has no date"),
    PerFix("latitude", NC_DOUBLE, "Platform latitude", [](const TrackPoint& f) { return f.lat; }, "degrees_north")
        .With("standard_name", "latitude"),
    PerFix("longitude", NC_DOUBLE, "Platform longitude", [](const TrackPoint& f) { return f.lon; }, "degrees_east")
        .With("standard_name", "longitude"),
    PerFix("fix_ping_index", NC_UINT, "ping_index of the ping whose text gave the fix",
           [](const TrackPoint& f) { return static_cast<double>(f.ping); }),
    PingTime(kPlatform, "Time of the ping (as in Sonar/Beam_group1)"),
    PerPing(kPlatform, "latitude_ping", NC_DOUBLE, "Latitude of each ping", kLat, "degrees_north"),
    PerPing(kPlatform, "longitude_ping", NC_DOUBLE, "Longitude of each ping", kLon, "degrees_east"),
    [] {
      VarDef d = PerPing(kPlatform, "position_source", NC_BYTE, "Where the ping's position comes from", PositionSource);
      d.flagMeanings = "fix interpolated none";
      return d;
    }(),

    Text(kEnvironment, "channel", "channel", "Channel identifier", kChannel),
    Constant(kEnvironment, "absorption_indicative", "Indicative acoustic absorption", "dB/m"),
    Constant(kEnvironment, "sound_speed_indicative", "Indicative sound speed", "m/s"),

    PingTime(kVendor, "Time of the ping (as in Sonar/Beam_group1)"),
    PerPing(kVendor, "offset", NC_UINT64, "Byte offset of the ping record in the record file",
            [](const PingRow& r) { return static_cast<double>(r.offset); }),
    // Here come kVendorFields, then:
    {.group = kVendor, .name = "gps_text", .role = Role::kGpsText, .type = NC_CHAR,
     .dims = {"ping_time", "gps_text_length"},
     .longName = "The ping's GPS text up to its carriage return, ISO 8859-1, zero-padded",
     // The character set, as netCDF4-python and xarray look for it: with it
     // they read the text as text rather than bytes.
     .attrs = {{{"_Encoding", "ISO-8859-1"}}}},
};

// Pings per chunk of the variables of one value (or one GPS text) per ping:
// a chunk per block of samples would make a hundred times more chunks of a
// few KiB, and HDF5's handling of each costs more than its bytes. The chunk
// caches hold one such chunk while the blocks fill it.
constexpr std::size_t kPingChunk = 8192;
constexpr std::size_t kFixChunk = 4096;
constexpr std::size_t kChunkCache = 1u << 20;

// A per-ping or per-fix variable, filled a block at a time.
template <class Row>
struct Column {
  int group = 0, var = 0;
  std::function<double(const Row&)> value;
  std::vector<double> values;
};

template <class Row>
void PutColumns(std::vector<Column<Row>>& columns, std::size_t start, std::size_t count) {
  for (Column<Row>& c : columns) {
    Check(nc->put_vara_double(c.group, c.var, &start, &count, c.values.data()), "nc_put_vara_double");
    c.values.clear();
  }
}

// An open netCDF file, closed however its writer ends: a file left open
// (a definition that failed in the writer's constructor) made HDF5 crash in
// its exit handler as it tried to close it.
class NcRoot {
 public:
  explicit NcRoot(const std::string& path) {
    errno = 0;
    Check(nc->create(NetcdfPath(path).c_str(), NC_NETCDF4 | NC_CLOBBER, &id_), "nc_create");
  }
  NcRoot(const NcRoot&) = delete;
  NcRoot& operator=(const NcRoot&) = delete;
  ~NcRoot() {
    if (id_ >= 0) nc->close(id_);
  }
  int id() const { return id_; }
  void Close() { Check(nc->close(std::exchange(id_, -1)), "nc_close"); }

 private:
  int id_ = -1;
};

class NetcdfFile {
 public:
  NetcdfFile(const std::string& path, const std::string& source, const Survey& survey, int deflate)
      : root_(path), survey_(survey), deflate_(deflate) {
    groups_[kRoot] = root_.id();
    range_ = std::max<std::size_t>(survey.maxSamples, 1);
    // About 2 MiB of samples per chunk, a whole number of pings.
    block_ = std::clamp<std::size_t>((2u << 20) / (range_ * sizeof(short)), 16, 4096);
    Define(source);
    Check(nc->enddef(groups_[kRoot]), "nc_enddef");
    WriteConstants();
    samples_.assign(block_ * range_, kSampleFill);
    slotLength_.assign(block_, 0);
    gps_.assign(block_ * ping::kGpsTextSize, 0);
  }
  void Ping(const PingInfo& p, std::span<const std::uint8_t> samples, const PingPlace& place) {
    PutSamples(filled_, samples, p.unread);
    const NcTimeSource source = NextTime(p, place);
    const PingRow row{p.header.data(), p.offset, place, source};
    for (Column<PingRow>& c : pingColumns_) c.values.push_back(c.value(row));
    const std::string text = GpsTextOf(p.header.data());
    std::copy_n(text.begin(), std::min(text.size(), ping::kGpsTextSize),
                gps_.begin() + static_cast<std::ptrdiff_t>(filled_ * ping::kGpsTextSize));
    if (++filled_ == block_) Flush();
  }

  void Fix(const TrackPoint& fix) {
    fixTimes_.push_back(fix.timeMs ? *fix.timeMs * 1000000 : kNoTime);
    for (Column<TrackPoint>& c : fixColumns_) c.values.push_back(c.value(fix));
    if (fixTimes_.size() == kFixChunk) FlushFixes();
  }

  void Close() {
    Flush();
    FlushFixes();
    root_.Close();
  }

 private:
  // The block's row k holds the fill after the samples of the ping that had
  // it before: only the cells that ping used need it again.
  void PutSamples(std::size_t k, std::span<const std::uint8_t> samples, const std::vector<SampleRange>& unread) {
    short* row = samples_.data() + k * range_;
    std::copy(samples.begin(), samples.end(), row);
    // Samples that were not read are zeros in the record file, not data.
    for (const SampleRange& r : unread) std::fill(row + r.begin, row + r.end, kSampleFill);
    if (slotLength_[k] > samples.size()) std::fill(row + samples.size(), row + slotLength_[k], kSampleFill);
    slotLength_[k] = samples.size();
  }

  // ping_time: strictly increasing, as the convention's coordinate must be.
  NcTimeSource NextTime(const PingInfo& p, const PingPlace& place) {
    long long t = 0;
    NcTimeSource source = place.timeSource == zep::TimeSource::kFix            ? kTimeFix
                         : place.timeSource == zep::TimeSource::kInterpolated ? kTimeInterpolated
                                                                          : kTimeExtrapolated;
    if (!place.timeNs) {
      source = kTimeFollowing;
      t = lastTime_ ? *lastTime_ + 1 : FirstTimeWithout(p);
    } else {
      t = *place.timeNs;
      if (lastTime_ && t <= *lastTime_) {
        t = *lastTime_ + 1;
        source = kTimeRaised;
      }
    }
    lastTime_ = t;
    times_.push_back(t);
    return source;
  }

  // A ping before any time is known: midnight of its own date, or 1970.
  static long long FirstTimeWithout(const PingInfo& p) {
    const auto date = DateFromBcd(p.year, p.month, p.day);
    return date ? DaysFromCivil(*date) * 86400LL * 1000000000LL : 0;
  }

  void Define(const std::string& source) {
    for (int g = kProvenance; g < kGroupCount; ++g) {
      Check(nc->def_grp(groups_[kParentOf[g]], kGroupNames[g], &groups_[g]), "nc_def_grp");
    }
    for (const DimDef& d : kDims) {
      int dim = 0;
      Check(nc->def_dim(groups_[d.group], d.name, d.length == kRangeLength ? range_ : d.length, &dim), "nc_def_dim");
      dims_[{d.group, d.name}] = dim;
    }
    for (const VarDef& d : kVariables) DefineVar(d, source);
    for (std::size_t i = 0; i < std::size(kVendorFields); ++i) {
      const VendorField& f = kVendorFields[i];
      const int var = DefineVar(PerPing(kVendor, f.name, f.type, f.longName, nullptr), source);
      pingColumns_.back() = {groups_[kVendor], var, [i](const PingRow& r) { return HeaderField(r, i); }, {}};
    }
    for (const GroupText& t : kGroupTexts) Attr(t.group, NC_GLOBAL, t.name, t.text);
    DescribeFile(source);
  }

  // The group attributes that name this file, its recorder and this run.
  void DescribeFile(const std::string& source) {
    const std::string recorder = RecorderOf(survey_);
    const std::string now = IsoNow();
    Attr(kRoot, NC_GLOBAL, "keywords", recorder);
    Attr(kRoot, NC_GLOBAL, "title", "Sonar record " + std::filesystem::path(source).filename().string());
    Attr(kRoot, NC_GLOBAL, "summary",
         "The pings of a " + recorder +
             " record file: raw 8-bit samples, uncalibrated, with each ping's time and position from the GPS text "
             "the recorder stored with it");
    Attr(kRoot, NC_GLOBAL, "date_created", now);
    Attr(kProvenance, NC_GLOBAL, "conversion_software_version", ZEP_VERSION_TEXT);
    Attr(kProvenance, NC_GLOBAL, "conversion_time", now);
    Attr(kSonar, NC_GLOBAL, "sonar_model", recorder);
  }

  int DefineVar(const VarDef& d, const std::string& source) {
    const int g = groups_[d.group];
    std::vector<int> dims;
    for (const char* name : d.dims) {
      if (name) dims.push_back(dims_.at({d.group, name}));
    }
    int var = 0;
    Check(nc->def_var(g, d.name, d.type, static_cast<int>(dims.size()), dims.data(), &var), "nc_def_var");
    Attr(d.group, var, "long_name", d.longName);
    if (d.units) Attr(d.group, var, "units", d.units);
    for (const auto& [name, text] : d.attrs) {
      if (name) Attr(d.group, var, name, text);
    }
    if (d.flagMeanings) Flags(g, var, d.flagMeanings);
    Shape(d, g, var, source);
    return var;
  }

  // What each role needs beyond the variable itself: its chunks, its fill,
  // and where its values come from.
  void Shape(const VarDef& d, int g, int var, const std::string& source) {
    switch (d.role) {
      case Role::kText: texts_.push_back({g, var, d.text ? d.text : source}); break;
      case Role::kPingTime:
        Compress(g, var, {kPingChunk});
        timeVars_.emplace_back(g, var);
        break;
      case Role::kPerPing:
        if (d.nanFill) Check(nc->def_var_fill(g, var, NC_FILL, &kNaN), "nc_def_var_fill");
        Compress(g, var, {kPingChunk});
        pingColumns_.push_back({g, var, d.perPing, {}});
        break;
      case Role::kConstant: DefineConstant(d, g, var); break;
      case Role::kRange: rangeVar_ = {g, var}; break;
      case Role::kSamples: DefineSamples(g, var); break;
      case Role::kFixTime:
        Check(nc->def_var_fill(g, var, NC_FILL, &kNoTime), "nc_def_var_fill");
        Compress(g, var, {kFixChunk});
        fixTimeVar_ = {g, var};
        break;
      case Role::kPerFix:
        Compress(g, var, {kFixChunk});
        fixColumns_.push_back({g, var, d.perFix, {}});
        break;
      case Role::kGpsText:
        Compress(g, var, {kPingChunk, ping::kGpsTextSize}, kChunkCache, false);
        gpsVar_ = {g, var};
        break;
    }
  }

  void DefineConstant(const VarDef& d, int g, int var) {
    if (d.type == NC_DOUBLE) Check(nc->def_var_fill(g, var, NC_FILL, &kNaN), "nc_def_var_fill");
    const signed char used = d.substitute ? 1 : 0;
    Check(nc->put_att_schar(g, var, "substitute_value_used", NC_BYTE, 1, &used), "nc_put_att_schar");
    if (d.substitute) constants_.push_back({g, var, *d.substitute});
  }

  void DefineSamples(int g, int var) {
    Compress(g, var, {1, block_, range_}, 4u << 20);
    // Every cell is written, the fill included, so HDF5 need not fill each
    // chunk before the block is copied into it. The _FillValue attribute is
    // set after the no-fill mode, which would drop it.
    Check(nc->def_var_fill(g, var, NC_NOFILL, nullptr), "nc_def_var_fill");
    Check(nc->put_att_short(g, var, "_FillValue", NC_SHORT, 1, &kSampleFill), "nc_put_att_short");
    samplesVar_ = {g, var};
  }

  void Flags(int g, int var, const char* meanings) {
    const auto count = static_cast<std::size_t>(std::count(meanings, meanings + std::strlen(meanings), ' ') + 1);
    std::vector<signed char> values(count);
    for (std::size_t i = 0; i < count; ++i) values[i] = static_cast<signed char>(i);
    Check(nc->put_att_schar(g, var, "flag_values", NC_BYTE, count, values.data()), "nc_put_att_schar");
    Check(nc->put_att_text(g, var, "flag_meanings", std::strlen(meanings), meanings), "nc_put_att_text");
  }

  void Attr(Grp group, int var, const char* name, const std::string& text) {
    Check(nc->put_att_text(groups_[group], var, name, text.size(), text.data()), "nc_put_att_text");
  }

  void Compress(int g, int var, std::vector<std::size_t> chunks, std::size_t cache = kChunkCache,
                bool shuffle = true) const {
    Check(nc->def_var_chunking(g, var, NC_CHUNKED, chunks.data()), "nc_def_var_chunking");
    if (deflate_ > 0) Check(nc->def_var_deflate(g, var, shuffle ? 1 : 0, 1, deflate_), "nc_def_var_deflate");
    Check(nc->set_var_chunk_cache(g, var, cache, 7, 0.75f), "nc_set_var_chunk_cache");
  }

  // Values written once, after the definitions.
  void WriteConstants() {
    const std::size_t start = 0, count = 1;
    for (const auto& [group, var, text] : texts_) {
      const char* p = text.c_str();
      Check(nc->put_vara_string(group, var, &start, &count, &p), "nc_put_vara_string");
    }
    for (const auto& [group, var, value] : constants_) {
      Check(nc->put_vara_double(group, var, &start, &count, &value), "nc_put_vara_double");
    }
    std::vector<int> range(range_);
    for (std::size_t i = 0; i < range_; ++i) range[i] = static_cast<int>(i);
    Check(nc->put_var_int(rangeVar_.first, rangeVar_.second, range.data()), "nc_put_var_int");
  }

  void Flush() {
    if (filled_ == 0) return;
    const std::size_t start3[] = {0, written_, 0}, count3[] = {1, filled_, range_};
    Check(nc->put_vara_short(samplesVar_.first, samplesVar_.second, start3, count3, samples_.data()),
          "nc_put_vara_short");
    const std::size_t start = written_, count = filled_;
    for (const auto& [group, var] : timeVars_) {
      Check(nc->put_vara_longlong(group, var, &start, &count, times_.data()), "nc_put_vara_longlong");
    }
    PutColumns(pingColumns_, start, count);
    const std::size_t textStart[] = {written_, 0}, textCount[] = {filled_, ping::kGpsTextSize};
    Check(nc->put_vara_text(gpsVar_.first, gpsVar_.second, textStart, textCount,
                            reinterpret_cast<const char*>(gps_.data())),
          "nc_put_vara_text");
    std::fill(gps_.begin(), gps_.end(), 0);
    times_.clear();
    written_ += filled_;
    filled_ = 0;
  }

  void FlushFixes() {
    if (fixTimes_.empty()) return;
    const std::size_t start = fixesWritten_, count = fixTimes_.size();
    Check(nc->put_vara_longlong(fixTimeVar_.first, fixTimeVar_.second, &start, &count, fixTimes_.data()),
          "nc_put_vara_longlong");
    PutColumns(fixColumns_, start, count);
    fixesWritten_ += count;
    fixTimes_.clear();
  }

  struct Text {
    int group, var;
    std::string text;
  };
  struct ConstantValue {
    int group, var;
    double value;
  };
  using VarId = std::pair<int, int>;  // group, variable

  NcRoot root_;
  Survey survey_;
  int deflate_;
  std::array<int, kGroupCount> groups_{};
  std::map<std::pair<Grp, std::string>, int> dims_;
  std::size_t range_ = 1, block_ = 16, filled_ = 0, written_ = 0, fixesWritten_ = 0;
  std::vector<short> samples_;
  std::vector<std::size_t> slotLength_;  // the samples in each row of samples_
  std::vector<std::uint8_t> gps_;
  std::vector<long long> times_, fixTimes_;
  std::optional<long long> lastTime_;
  VarId samplesVar_, rangeVar_, gpsVar_, fixTimeVar_;
  std::vector<VarId> timeVars_;
  std::vector<Column<PingRow>> pingColumns_;
  std::vector<Column<TrackPoint>> fixColumns_;
  std::vector<Text> texts_;
  std::vector<ConstantValue> constants_;
};

struct Counts {
  int unopened = 0;   // not a record file one can read
  int uncreated = 0;  // an output that could not even be started
  int failed = 0;     // an output started and not finished
  int notWhole = 0;   // a record file used as far as it goes
};

// The record file into a netCDF file netCDF-C writes at path.
void WriteNetcdf(const std::string& in, const Survey& survey, const std::string& path, int deflate) {
  NetcdfFile nc(path, in, survey, deflate);
  PingReader reader(in);
  PingLocator locator(in);
  TrackReader track(60);
  while (reader.Next()) {
    const PingInfo& p = reader.ping();
    nc.Ping(p, reader.samples(), locator.Next(p));
    if (const auto step = track.Next(p)) nc.Fix(step->point);
  }
  nc.Close();
}

// Writes one record file into out through the one safe output: the file
// takes its name only once netCDF-C has closed it whole, and an interrupt
// removes it meanwhile. False (reported) when it could not be written.
bool Convert(Sink& con, const std::string& in, const Survey& survey, const std::string& out, int deflate,
             Counts& counts) {
  OutputFile file = OutputFile::Create(out, {.named = true});
  if (!file.open()) {
    ++counts.uncreated;
    con.Report(file.problem());
    return false;
  }
  std::optional<Problem> failed = WriteApart([&]() -> std::optional<Problem> {
    try {
      WriteNetcdf(in, survey, file.writerPath(), deflate);
      return std::nullopt;
    } catch (NcError& e) {
      return e.problem;
    }
  });
  if (failed) {
    file.Discard();
    ++counts.failed;
    failed->subject = out;
    con.Report(*failed);
    return false;
  }
  if (!file.Close()) {
    ++counts.failed;
    con.Report(file.problem());
    return false;
  }
  if (!survey.walk.Whole()) {
    ++counts.notWhole;
    con.Report({in, "not whole: " + survey.walk.NotWholeText(), 0, survey.walk.NotWholeKind()});
  }
  return true;
}

// What stops the command before any file: an -o for several files, a
// folder that cannot be made, netCDF-C not on this machine.
bool Refused(Sink& con, const std::vector<std::string>& files, const NetcdfOptions& options) {
  if (!options.outFile.empty() && files.size() > 1) {
    throw BrokenPromise("one output file asked for several record files");
  }
  Problem missing;
  nc = LoadNetcdfApi(missing);
  if (!nc) {
    con.Report(missing);
    return true;
  }
  if (!options.outDir.empty()) {
    if (std::optional<Problem> refused = MakeFolder(options.outDir)) {
      con.Report(std::move(*refused));
      return true;
    }
  }
  return false;
}

// A record file that cannot be read as one, reported; nothing when it can.
std::optional<Survey> Surveyed(Sink& con, const std::string& in, Counts& counts) {
  Survey survey = SurveyFile(in);
  const RecordWalk& first = survey.walk;
  if (std::optional<Problem> unusable = first.Unusable(in)) {
    ++counts.unopened;
    con.Report(*unusable);
    return std::nullopt;
  }
  return survey;
}

}  // namespace

bool HaveNetcdf() { return true; }

Problems WriteNetcdfFile(const std::string& in, const std::string& out, int deflate) {
  std::ostringstream unused;
  ProblemList list(unused);
  Problem missing;
  nc = LoadNetcdfApi(missing);
  if (!nc) return {missing};
  Counts counts;
  if (const std::optional<Survey> survey = Surveyed(list, in, counts)) Convert(list, in, *survey, out, deflate, counts);
  return list.problems;
}

Outcome WriteNetcdf(Sink& con, const std::vector<std::string>& files, const NetcdfOptions& options) {
  if (Refused(con, files, options)) return Outcome::kRefused;
  Counts counts;
  std::vector<std::string> written;
  for (const std::string& in : files) {
    // REEF.A gives REEF.A.nc, as the inventory names it, never REEF.nc.
    const std::string name = std::filesystem::path(RecordStem(in)).filename().string() + ".nc";
    const std::string out =
        !options.outFile.empty() ? options.outFile : (std::filesystem::path(options.outDir) / name).string();
    if (WouldOverwriteInput(con, out, files)) return Outcome::kRefused;
    // Two record files of one name (A/SURVEY1.ZEP, B/SURVEY1.ZEP) would
    // write one netCDF file: the second is left out, not written over the first.
    if (std::find(written.begin(), written.end(), out) != written.end()) {
      ++counts.failed;
      // The first one's file is kept, as a file that existed is.
      con.Report({in, "not written: " + out + " was written from another record file of the same name in this run", 0,
                  ProblemKind::kKeptExisting});
      continue;
    }
    written.push_back(out);
    const std::optional<Survey> survey = Surveyed(con, in, counts);
    if (survey && Convert(con, in, *survey, out, options.deflate, counts)) con.out << in << " -> " << out << '\n';
  }
  // Nothing written because nothing could be: a read-only folder, no record files.
  if (counts.unopened + counts.uncreated == static_cast<int>(files.size())) return Outcome::kRefused;
  return counts.unopened + counts.uncreated + counts.failed + counts.notWhole == 0 ? Outcome::kDone : Outcome::kPartly;
}

}  // namespace zep
