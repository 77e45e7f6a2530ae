// zepconv netcdf with netCDF-C: one netCDF-4 file per record file, written
// as the file is walked, a block of pings at a time, so memory stays the
// same whatever the record's length.

#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

#include "convert/nmea.h"
#include "export/netcdf.h"
#include "export/ping_place.h"
#include "export/text_output.h"
#include "export/track.h"
#include "zep_version.h"

namespace zep {
namespace {

struct NcError {
  std::string what;
};

void Check(int status, const char* call) {
  if (status != NC_NOERR) throw NcError{std::string(call) + ": " + nc_strerror(status)};
}

// Samples are 0 to 255, so -1 is never one: the cells after a ping's last
// sample, and xarray's NaN once it decodes the int16 into floats.
constexpr short kSampleFill = -1;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr long long kNoTime = std::numeric_limits<long long>::min();

// How a ping got its ping_time.
enum TimeSource : signed char {
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

class Group {
 public:
  explicit Group(int id) : id_(id) {}
  int id() const { return id_; }

  Group Sub(const char* name) const {
    int sub = 0;
    Check(nc_def_grp(id_, name, &sub), "nc_def_grp");
    return Group(sub);
  }
  void Attr(const char* name, const std::string& text, int var = NC_GLOBAL) const {
    Check(nc_put_att_text(id_, var, name, text.size(), text.data()), "nc_put_att_text");
  }
  void Attr(const char* name, double v, int var = NC_GLOBAL) const {
    Check(nc_put_att_double(id_, var, name, NC_DOUBLE, 1, &v), "nc_put_att_double");
  }
  void AttrByte(const char* name, signed char v, int var) const {
    Check(nc_put_att_schar(id_, var, name, NC_BYTE, 1, &v), "nc_put_att_schar");
  }
  int Dim(const char* name, std::size_t length) const {
    int dim = 0;
    Check(nc_def_dim(id_, name, length, &dim), "nc_def_dim");
    return dim;
  }
  // A variable with long_name and, when given, units.
  int Var(const char* name, nc_type type, std::vector<int> dims, const char* longName, const char* units = nullptr) const {
    int var = 0;
    Check(nc_def_var(id_, name, type, static_cast<int>(dims.size()), dims.data(), &var), "nc_def_var");
    Attr("long_name", longName, var);
    if (units) Attr("units", units, var);
    return var;
  }

 private:
  int id_;
};

// Pings per chunk of the variables of one value (or one GPS text) per ping:
// a chunk per block of samples would make a hundred times more chunks of a
// few KiB, and HDF5's handling of each costs more than its bytes. The chunk
// caches hold one such chunk while the blocks fill it.
constexpr std::size_t kPingChunk = 8192;

// A variable along ping_time (after any channel dimension), chunked along
// it, and filled a block of pings at a time.
struct PingVar {
  int group = 0, var = 0;
  bool channel = false;  // dimensions (channel, ping_time)
  std::vector<double> values;
};

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

class NetcdfFile {
 public:
  NetcdfFile(const std::string& path, const std::string& source, const Survey& survey, int deflate)
      : survey_(survey), deflate_(deflate) {
    Check(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &root_), "nc_create");
    open_ = true;
    range_ = std::max<std::size_t>(survey.maxSamples, 1);
    // About 2 MiB of samples per chunk, a whole number of pings.
    block_ = std::clamp<std::size_t>((2u << 20) / (range_ * sizeof(short)), 16, 4096);
    Define(source);
    Check(nc_enddef(root_), "nc_enddef");
    samples_.assign(block_ * range_, kSampleFill);
    slotLength_.assign(block_, 0);
    gps_.assign(block_ * ping::kGpsTextSize, 0);
  }
  ~NetcdfFile() {
    if (open_) nc_close(root_);
  }

  void Ping(const PingInfo& p, std::span<const std::uint8_t> samples, const PingPlace& place) {
    const std::size_t k = filled_;
    // The block's row k holds the fill after the samples of the ping that
    // had it before: only the cells that ping used need it again.
    short* row = samples_.data() + k * range_;
    std::copy(samples.begin(), samples.end(), row);
    if (slotLength_[k] > samples.size()) std::fill(row + samples.size(), row + slotLength_[k], kSampleFill);
    slotLength_[k] = samples.size();
    // ping_time: strictly increasing, as the convention's coordinate must be.
    long long t = 0;
    signed char source = place.timeSource == zep::TimeSource::kFix            ? kTimeFix
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
    timeSources_.push_back(source);
    const bool placed = place.source != PlaceSource::kNone;
    lat_.values.push_back(placed ? place.lat : kNaN);
    lon_.values.push_back(placed ? place.lon : kNaN);
    platformLat_.values.push_back(lat_.values.back());
    platformLon_.values.push_back(lon_.values.back());
    positionSource_.values.push_back(static_cast<double>(place.source == PlaceSource::kFix          ? 0
                                                         : place.source == PlaceSource::kInterpolated ? 1
                                                                                                        : 2));
    offset_.values.push_back(static_cast<double>(p.offset));
    for (std::size_t i = 0; i < vendor_.size(); ++i) vendor_[i].values.push_back(FieldValue(kVendorFields[i], p.header.data()));
    const std::string text = GpsTextOf(p.header.data());
    std::copy_n(text.begin(), std::min(text.size(), ping::kGpsTextSize), gps_.begin() + static_cast<std::ptrdiff_t>(k * ping::kGpsTextSize));
    if (++filled_ == block_) Flush();
  }

  void Fix(const TrackPoint& fix) {
    fixTimes_.push_back(fix.timeMs ? *fix.timeMs * 1000000 : kNoTime);
    fixLat_.push_back(fix.lat);
    fixLon_.push_back(fix.lon);
    fixPing_.push_back(fix.ping);
    if (fixTimes_.size() == 4096) FlushFixes();
  }

  void Close() {
    Flush();
    FlushFixes();
    open_ = false;
    Check(nc_close(root_), "nc_close");
  }

 private:
  // A ping before any time is known: midnight of its own date, or 1970.
  long long FirstTimeWithout(const PingInfo& p) const {
    const auto date = DateFromBcd(p.year, p.month, p.day);
    return date ? DaysFromCivil(*date) * 86400LL * 1000000000LL : 0;
  }

  void Compress(int group, int var, std::vector<std::size_t> chunks, std::size_t cache) const {
    Check(nc_def_var_chunking(group, var, NC_CHUNKED, chunks.data()), "nc_def_var_chunking");
    if (deflate_ > 0) Check(nc_def_var_deflate(group, var, 1, 1, deflate_), "nc_def_var_deflate");
    Check(nc_set_var_chunk_cache(group, var, cache, 7, 0.75f), "nc_set_var_chunk_cache");
  }

  PingVar PerPing(const Group& g, int channelDim, int pingDim, const char* name, nc_type type, const char* longName,
                  const char* units = nullptr, std::optional<double> fill = std::nullopt) {
    PingVar v;
    v.group = g.id();
    v.channel = channelDim >= 0;
    v.var = v.channel ? g.Var(name, type, {channelDim, pingDim}, longName, units) : g.Var(name, type, {pingDim}, longName, units);
    if (fill) {
      if (type == NC_DOUBLE) Check(nc_def_var_fill(g.id(), v.var, NC_FILL, &*fill), "nc_def_var_fill");
      else if (type == NC_BYTE) {
        const auto b = static_cast<signed char>(*fill);
        Check(nc_def_var_fill(g.id(), v.var, NC_FILL, &b), "nc_def_var_fill");
      }
    }
    if (v.channel) Compress(g.id(), v.var, {1, kPingChunk}, 1u << 20);
    else Compress(g.id(), v.var, {kPingChunk}, 1u << 20);
    return v;
  }

  // A variable of one value per channel that the recording does not give:
  // the convention's fill, or a stand-in where a reader needs a value.
  void Constant(const Group& g, int channelDim, const char* name, nc_type type, const char* longName, const char* units,
                std::optional<double> substitute) {
    const int var = g.Var(name, type, {channelDim}, longName, units);
    if (type == NC_DOUBLE) {
      Check(nc_def_var_fill(g.id(), var, NC_FILL, &kNaN), "nc_def_var_fill");
    }
    g.AttrByte("substitute_value_used", substitute ? 1 : 0, var);
    if (substitute) constants_.push_back({g.id(), var, *substitute});
  }

  void Define(const std::string& source) {
    const Group root(root_);
    const std::string recorder = RecorderOf(survey_);
    root.Attr("Conventions", "CF-1.7, SONAR-netCDF4-1.0, ACDD-1.3");
    root.Attr("keywords", recorder);
    root.Attr("sonar_convention_authority", "ICES");
    root.Attr("sonar_convention_name", "SONAR-netCDF4");
    root.Attr("sonar_convention_version", "1.0");
    root.Attr("title", "Sonar record " + std::filesystem::path(source).filename().string());
    root.Attr("summary", "The pings of a " + recorder +
                             " record file: raw 8-bit samples, uncalibrated, with each ping's time and position from "
                             "the GPS text the recorder stored with it");
    root.Attr("date_created", IsoNow());

    const Group prov = root.Sub("Provenance");
    prov.Attr("conversion_software_name", "zepconv");
    prov.Attr("conversion_software_version", ZEP_VERSION_TEXT);
    prov.Attr("conversion_time", IsoNow());
    const int filenames = prov.Dim("filenames", 1);
    const int sourceVar = prov.Var("source_filenames", NC_STRING, {filenames}, "Source filenames");
    sourceNames_ = {prov.id(), sourceVar, source};

    const Group sonar = root.Sub("Sonar");
    sonar.Attr("sonar_manufacturer", "");
    sonar.Attr("sonar_model", recorder);
    sonar.Attr("sonar_serial_number", "");
    sonar.Attr("sonar_software_name", "");
    sonar.Attr("sonar_software_version", "");
    sonar.Attr("sonar_type", "echosounder");
    const int channelAll = sonar.Dim("channel_all", 1);
    const int beamGroup = sonar.Dim("beam_group", 1);
    channelNames_.push_back({sonar.id(), sonar.Var("channel_all", NC_STRING, {channelAll}, "All channels"), kChannel});
    channelNames_.push_back({sonar.id(), sonar.Var("beam_group", NC_STRING, {beamGroup}, "Beam groups"), "Beam_group1"});
    channelNames_.push_back({sonar.id(), sonar.Var("beam_group_descr", NC_STRING, {beamGroup}, "Beam group description"),
                             "Raw 8-bit samples of the one channel, uncalibrated"});

    const Group beam = sonar.Sub("Beam_group1");
    beam.Attr("beam_mode", "vertical");
    beam.Attr("conversion_equation_type", "none: the samples are raw and uncalibrated");
    const int channel = beam.Dim("channel", 1);
    const int pingTime = beam.Dim("ping_time", NC_UNLIMITED);
    const int rangeSample = beam.Dim("range_sample", range_);
    channelNames_.push_back({beam.id(), beam.Var("channel", NC_STRING, {channel}, "Channel identifier"), kChannel});
    pingTimeVar_ = {beam.id(), beam.Var("ping_time", NC_INT64, {pingTime}, "Time of the ping",
                                        "nanoseconds since 1970-01-01T00:00:00Z")};
    beam.Attr("standard_name", "time", pingTimeVar_.second);
    beam.Attr("axis", "T", pingTimeVar_.second);
    beam.Attr("calendar", "gregorian", pingTimeVar_.second);
    beam.Attr("comment",
              "Strictly increasing. The time of the ping's own fix, or interpolated between the fixes around it "
              "(ping_time_source 0 and 1), or extrapolated from the nearest fix at the record's own ping rate "
              "after the last fix or before the first (4); a ping with no time at all, or one not after the ping "
              "before, is given 1 ns after the ping before (2 and 3); before any time is known, midnight UTC of the ping's "
              "date, or 1970-01-01 when it has none",
              pingTimeVar_.second);
    Compress(beam.id(), pingTimeVar_.second, {kPingChunk}, 1u << 20);
    timeSourceVar_ = PerPing(beam, -1, pingTime, "ping_time_source", NC_BYTE, "How the ping got its ping_time");
    const signed char sourceValues[] = {0, 1, 2, 3, 4};
    Check(nc_put_att_schar(beam.id(), timeSourceVar_.var, "flag_values", NC_BYTE, 5, sourceValues), "nc_put_att");
    beam.Attr("flag_meanings", "fix interpolated none_previous_plus_1ns raised_to_previous_plus_1ns extrapolated",
              timeSourceVar_.var);
    const int rs = beam.Var("range_sample", NC_INT, {rangeSample}, "Along-range sample number, base 0");
    rangeVar_ = {beam.id(), rs};

    backscatter_ = beam.Var("backscatter_r", NC_SHORT, {channel, pingTime, rangeSample},
                            "Raw backscatter samples, uncalibrated: the recorder's 8-bit values (0 to 255) as the "
                            "record file holds them",
                            "count");
    beam.Attr("comment", "_FillValue after a ping's last sample (sample_count)", backscatter_);
    Compress(beam.id(), backscatter_, {1, block_, range_}, 4u << 20);
    // Every cell is written, the fill included, so HDF5 need not fill each
    // chunk before the block is copied into it. The _FillValue attribute is
    // set after the no-fill mode, which would drop it.
    Check(nc_def_var_fill(beam.id(), backscatter_, NC_NOFILL, nullptr), "nc_def_var_fill");
    Check(nc_put_att_short(beam.id(), backscatter_, "_FillValue", NC_SHORT, 1, &kSampleFill), "nc_put_att_short");
    beamGroup_ = beam.id();
    vendorGroupSample_ = PerPing(beam, -1, pingTime, "sample_count", NC_USHORT, "Samples of the ping");
    vendorGroupMode_ = PerPing(beam, -1, pingTime, "mode", NC_UBYTE, "The ping's mode (index of its sample count)");
    vendorGroupIndex_ = PerPing(beam, -1, pingTime, "ping_index", NC_UINT, "The ping's index in its record");
    lat_ = PerPing(beam, -1, pingTime, "platform_latitude", NC_DOUBLE, "Platform latitude at the ping", "degrees_north", kNaN);
    lon_ = PerPing(beam, -1, pingTime, "platform_longitude", NC_DOUBLE, "Platform longitude at the ping", "degrees_east", kNaN);
    // The convention's mandatory beam variables the recording does not give.
    Constant(beam, channel, "beam_type", NC_INT, "Type of transducer (0: single)", nullptr, 0.0);
    Constant(beam, channel, "beam_stabilisation", NC_BYTE, "Beam stabilisation applied (0: not stabilised)", nullptr, 0.0);
    Constant(beam, channel, "non_quantitative_processing", NC_SHORT, "Presence or not of non-quantitative processing (0: none)", nullptr, 0.0);
    Constant(beam, channel, "transmit_type", NC_BYTE, "Type of transmitted pulse (0: CW)", nullptr, 0.0);
    Constant(beam, channel, "beam_direction_x", NC_DOUBLE, "x-component of the beam direction vector", "1", 0.0);
    Constant(beam, channel, "beam_direction_y", NC_DOUBLE, "y-component of the beam direction vector", "1", 0.0);
    Constant(beam, channel, "beam_direction_z", NC_DOUBLE, "z-component of the beam direction vector", "1", 1.0);
    Constant(beam, channel, "sample_time_offset", NC_DOUBLE, "Time offset applied to sample time-stamps", "s", 0.0);
    for (const auto& [name, longName, units] : std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"beamwidth_receive_major", "Half power one-way receive beam width along major axis", "arc_degree"},
             {"beamwidth_receive_minor", "Half power one-way receive beam width along minor axis", "arc_degree"},
             {"beamwidth_transmit_major", "Half power one-way transmit beam width along major axis", "arc_degree"},
             {"beamwidth_transmit_minor", "Half power one-way transmit beam width along minor axis", "arc_degree"},
             {"equivalent_beam_angle", "Equivalent beam angle", "sr"},
             {"gain_correction", "Gain correction", "dB"},
             {"receiver_sensitivity", "Receiver sensitivity", "dB re 1/uPa"},
             {"sample_interval", "Interval between recorded raw data samples", "s"},
             {"transducer_gain", "Gain of transducer", "dB"},
             {"transmit_bandwidth", "Nominal bandwidth of transmitted pulse", "Hz"},
             {"transmit_duration_nominal", "Nominal duration of transmitted pulse", "s"},
             {"transmit_frequency_start", "Start frequency in transmitted pulse", "Hz"},
             {"transmit_frequency_stop", "Stop frequency in transmitted pulse", "Hz"},
             {"frequency_nominal", "Transducer frequency", "Hz"},
             {"transmit_power", "Nominal transmit power", "W"},
             {"transmit_source_level", "Transmit source level", "dB re 1 uPa at 1m"},
             {"time_varied_gain", "Time-varied-gain coefficients", "dB"},
             {"blanking_interval", "Beam blanking interval", "s"},
             {"tx_transducer_depth", "Tx transducer depth below waterline", "m"},
         }) {
      Constant(beam, channel, name, NC_DOUBLE, longName, units, std::nullopt);
    }

    const Group platform = root.Sub("Platform");
    platform.Attr("platform_name", "");
    platform.Attr("platform_type", "");
    platform.Attr("platform_code_ICES", "");
    const int time1 = platform.Dim("time1", NC_UNLIMITED);
    const int platformPing = platform.Dim("ping_time", NC_UNLIMITED);
    fixTimeVar_ = platform.Var("time1", NC_INT64, {time1}, "Timestamps of the GPS fixes",
                               "nanoseconds since 1970-01-01T00:00:00Z");
    Check(nc_def_var_fill(platform.id(), fixTimeVar_, NC_FILL, &kNoTime), "nc_def_var_fill");
    platform.Attr("standard_name", "time", fixTimeVar_);
    platform.Attr("calendar", "gregorian", fixTimeVar_);
    platform.Attr("comment", "Each fix once, at the ping whose text first gives it; _FillValue where the fix has no date",
                  fixTimeVar_);
    fixLatVar_ = platform.Var("latitude", NC_DOUBLE, {time1}, "Platform latitude", "degrees_north");
    platform.Attr("standard_name", "latitude", fixLatVar_);
    fixLonVar_ = platform.Var("longitude", NC_DOUBLE, {time1}, "Platform longitude", "degrees_east");
    platform.Attr("standard_name", "longitude", fixLonVar_);
    fixPingVar_ = platform.Var("fix_ping_index", NC_UINT, {time1}, "ping_index of the ping whose text gave the fix");
    for (int v : {fixTimeVar_, fixLatVar_, fixLonVar_, fixPingVar_}) Compress(platform.id(), v, {4096}, 1u << 20);
    platformTimeVar_ = platform.Var("ping_time", NC_INT64, {platformPing}, "Time of the ping (as in Sonar/Beam_group1)",
                                    "nanoseconds since 1970-01-01T00:00:00Z");
    platform.Attr("calendar", "gregorian", platformTimeVar_);
    Compress(platform.id(), platformTimeVar_, {kPingChunk}, 1u << 20);
    platformGroup_ = platform.id();
    platformLat_ = PerPing(platform, -1, platformPing, "latitude_ping", NC_DOUBLE, "Latitude of each ping", "degrees_north", kNaN);
    platformLon_ = PerPing(platform, -1, platformPing, "longitude_ping", NC_DOUBLE, "Longitude of each ping", "degrees_east", kNaN);
    positionSource_ = PerPing(platform, -1, platformPing, "position_source", NC_BYTE, "Where the ping's position comes from");
    const signed char positionValues[] = {0, 1, 2};
    Check(nc_put_att_schar(platform.id(), positionSource_.var, "flag_values", NC_BYTE, 3, positionValues), "nc_put_att");
    platform.Attr("flag_meanings", "fix interpolated none", positionSource_.var);

    const Group env = root.Sub("Environment");
    const int envChannel = env.Dim("channel", 1);
    channelNames_.push_back({env.id(), env.Var("channel", NC_STRING, {envChannel}, "Channel identifier"), kChannel});
    for (const auto& [name, longName, units] : std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"absorption_indicative", "Indicative acoustic absorption", "dB/m"},
             {"sound_speed_indicative", "Indicative sound speed", "m/s"},
         }) {
      Constant(env, envChannel, name, NC_DOUBLE, longName, units, std::nullopt);
    }

    const Group vendor = root.Sub("Vendor_specific");
    vendor.Attr("comment", "Every field of each ping's 256-byte PingHeader, as the record file holds it");
    const int vendorPing = vendor.Dim("ping_time", NC_UNLIMITED);
    const int textLength = vendor.Dim("gps_text_length", ping::kGpsTextSize);
    vendorTimeVar_ = vendor.Var("ping_time", NC_INT64, {vendorPing}, "Time of the ping (as in Sonar/Beam_group1)",
                                "nanoseconds since 1970-01-01T00:00:00Z");
    vendor.Attr("calendar", "gregorian", vendorTimeVar_);
    Compress(vendor.id(), vendorTimeVar_, {kPingChunk}, 1u << 20);
    vendorGroup_ = vendor.id();
    offset_ = PerPing(vendor, -1, vendorPing, "offset", NC_UINT64, "Byte offset of the ping record in the record file");
    for (const VendorField& f : kVendorFields) vendor_.push_back(PerPing(vendor, -1, vendorPing, f.name, f.type, f.longName));
    gpsVar_ = vendor.Var("gps_text", NC_CHAR, {vendorPing, textLength},
                         "The ping's GPS text up to its carriage return, ISO 8859-1, zero-padded");
    const std::size_t textChunks[] = {kPingChunk, ping::kGpsTextSize};
    Check(nc_def_var_chunking(vendor.id(), gpsVar_, NC_CHUNKED, textChunks), "nc_def_var_chunking");
    if (deflate_ > 0) Check(nc_def_var_deflate(vendor.id(), gpsVar_, 0, 1, deflate_), "nc_def_var_deflate");
    Check(nc_set_var_chunk_cache(vendor.id(), gpsVar_, 1u << 20, 7, 0.75f), "nc_set_var_chunk_cache");
  }

 public:
  // Values written once, after the definitions.
  void WriteConstants() {
    for (const auto& [group, var, text] : channelNames_) {
      const char* p = text.c_str();
      const std::size_t start = 0, count = 1;
      Check(nc_put_vara_string(group, var, &start, &count, &p), "nc_put_vara_string");
    }
    {
      const char* p = sourceNames_.text.c_str();
      const std::size_t start = 0, count = 1;
      Check(nc_put_vara_string(sourceNames_.group, sourceNames_.var, &start, &count, &p), "nc_put_vara_string");
    }
    for (const auto& [group, var, value] : constants_) {
      const std::size_t start = 0, count = 1;
      Check(nc_put_vara_double(group, var, &start, &count, &value), "nc_put_vara_double");
    }
    std::vector<int> range(range_);
    for (std::size_t i = 0; i < range_; ++i) range[i] = static_cast<int>(i);
    Check(nc_put_var_int(rangeVar_.first, rangeVar_.second, range.data()), "nc_put_var_int");
  }

 private:
  void PutPing(const PingVar& v) {
    const std::size_t start[] = {0, written_}, count[] = {1, filled_};
    if (v.channel) Check(nc_put_vara_double(v.group, v.var, start, count, v.values.data()), "nc_put_vara_double");
    else Check(nc_put_vara_double(v.group, v.var, start + 1, count + 1, v.values.data()), "nc_put_vara_double");
  }

  void Flush() {
    if (filled_ == 0) return;
    const std::size_t start3[] = {0, written_, 0}, count3[] = {1, filled_, range_};
    Check(nc_put_vara_short(beamGroup_, backscatter_, start3, count3, samples_.data()), "nc_put_vara_short");
    const std::size_t start = written_, count = filled_;
    for (const auto& [group, var] : {pingTimeVar_, std::pair(platformGroup_, platformTimeVar_), std::pair(vendorGroup_, vendorTimeVar_)}) {
      Check(nc_put_vara_longlong(group, var, &start, &count, times_.data()), "nc_put_vara_longlong");
    }
    Check(nc_put_vara_schar(timeSourceVar_.group, timeSourceVar_.var, &start, &count, timeSources_.data()), "nc_put_vara_schar");
    // The per-ping header fields the beam group repeats.
    for (auto [var, field] : {std::pair(&vendorGroupSample_, 0), std::pair(&vendorGroupMode_, 15), std::pair(&vendorGroupIndex_, 1)}) {
      var->values = vendor_[static_cast<std::size_t>(field)].values;
    }
    for (PingVar* v : {&lat_, &lon_, &platformLat_, &platformLon_, &positionSource_, &offset_, &vendorGroupSample_,
                       &vendorGroupMode_, &vendorGroupIndex_}) {
      PutPing(*v);
      v->values.clear();
    }
    for (PingVar& v : vendor_) {
      PutPing(v);
      v.values.clear();
    }
    const std::size_t textStart[] = {written_, 0}, textCount[] = {filled_, ping::kGpsTextSize};
    Check(nc_put_vara_text(vendorGroup_, gpsVar_, textStart, textCount, reinterpret_cast<const char*>(gps_.data())),
          "nc_put_vara_text");
    std::fill(gps_.begin(), gps_.end(), 0);
    times_.clear();
    timeSources_.clear();
    written_ += filled_;
    filled_ = 0;
  }

  void FlushFixes() {
    if (fixTimes_.empty()) return;
    const std::size_t start = fixesWritten_, count = fixTimes_.size();
    Check(nc_put_vara_longlong(platformGroup_, fixTimeVar_, &start, &count, fixTimes_.data()), "nc_put_vara_longlong");
    Check(nc_put_vara_double(platformGroup_, fixLatVar_, &start, &count, fixLat_.data()), "nc_put_vara_double");
    Check(nc_put_vara_double(platformGroup_, fixLonVar_, &start, &count, fixLon_.data()), "nc_put_vara_double");
    Check(nc_put_vara_uint(platformGroup_, fixPingVar_, &start, &count, fixPing_.data()), "nc_put_vara_uint");
    fixesWritten_ += count;
    fixTimes_.clear();
    fixLat_.clear();
    fixLon_.clear();
    fixPing_.clear();
  }

  static constexpr const char* kChannel = "channel 1";
  struct Text {
    int group, var;
    std::string text;
  };
  struct ConstantValue {
    int group, var;
    double value;
  };

  Survey survey_;
  int deflate_;
  int root_ = 0;
  bool open_ = false;
  std::size_t range_ = 1, block_ = 16, filled_ = 0, written_ = 0, fixesWritten_ = 0;
  std::vector<short> samples_;
  std::vector<std::size_t> slotLength_;  // the samples in each row of samples_
  std::vector<std::uint8_t> gps_;
  std::vector<long long> times_;
  std::vector<signed char> timeSources_;
  std::optional<long long> lastTime_;
  std::vector<long long> fixTimes_;
  std::vector<double> fixLat_, fixLon_;
  std::vector<unsigned> fixPing_;
  int beamGroup_ = 0, backscatter_ = 0, platformGroup_ = 0, vendorGroup_ = 0, gpsVar_ = 0;
  int fixTimeVar_ = 0, fixLatVar_ = 0, fixLonVar_ = 0, fixPingVar_ = 0, platformTimeVar_ = 0, vendorTimeVar_ = 0;
  std::pair<int, int> pingTimeVar_, rangeVar_;
  PingVar timeSourceVar_, lat_, lon_, platformLat_, platformLon_, positionSource_, offset_;
  PingVar vendorGroupSample_, vendorGroupMode_, vendorGroupIndex_;
  std::vector<PingVar> vendor_;
  std::vector<Text> channelNames_;
  Text sourceNames_;
  std::vector<ConstantValue> constants_;
};

std::string StemOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

// Writes one record file into out; false (reported) when the file could not
// be written. notWhole counts a record file that is used as far as it goes.
bool Convert(Console& con, const std::string& in, const Survey& survey, const std::string& out, int deflate,
             int& notWhole) {
  const std::string tmp = (std::filesystem::path(out).parent_path() / ("~" + std::filesystem::path(out).filename().string() + ".tmp")).string();
  try {
    NetcdfFile nc(tmp, in, survey, deflate);
    nc.WriteConstants();
    PingReader reader(in);
    PingLocator locator(in);
    TrackReader track(60);
    while (reader.Next()) {
      const PingInfo& p = reader.ping();
      nc.Ping(p, reader.samples(), locator.Next(p));
      if (const auto step = track.Next(p)) nc.Fix(step->point);
    }
    nc.Close();
    const RecordWalk& w = reader.walk();
    if (!w.whole) {
      ++notWhole;
      con.Report(in, "not whole: " + w.problem);
    }
  } catch (const NcError& e) {
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    con.Report(out, e.what);
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, out, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    con.Report(out, "cannot give the file its name: " + ec.message());
    return false;
  }
  return true;
}

}  // namespace

bool HaveNetcdf() { return true; }

int NetcdfCommand(Console& con, const std::vector<std::string>& files, const NetcdfOptions& options) {
  if (!options.outFile.empty() && files.size() > 1) {
    con.Report("netcdf", "-o names one output file, for one record file; use --out DIR for several");
    return kRefused;
  }
  if (!options.outDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.outDir, ec);
    if (ec || !std::filesystem::is_directory(options.outDir, ec)) {
      con.Report(options.outDir, "cannot create the folder" + (ec ? ": " + ec.message() : std::string()));
      return kRefused;
    }
  }
  int unopened = 0, failed = 0, notWhole = 0;
  std::vector<std::string> written;
  for (const std::string& in : files) {
    const std::string out = !options.outFile.empty() ? options.outFile
                                                     : (std::filesystem::path(options.outDir) / (StemOf(in) + ".nc")).string();
    if (WouldOverwriteInput(con, out, files)) return kRefused;
    // Two record files of one name (A/SURVEY1.ZEP, B/SURVEY1.ZEP) would
    // write one netCDF file: the second is left out, not written over the first.
    if (std::find(written.begin(), written.end(), out) != written.end()) {
      ++failed;
      con.Report(in, "not written: " + out + " was written from another record file of the same name in this run");
      continue;
    }
    written.push_back(out);
    const Survey survey = SurveyFile(in);
    const RecordWalk& first = survey.walk;
    if (!first.opened) {
      ++unopened;
      con.Report("", first.problem);
      continue;
    }
    if (!first.headerZero || (first.pings == 0 && !first.whole)) {
      ++unopened;
      con.Report(in, "not a .ZEP record file");
      continue;
    }
    if (!Convert(con, in, survey, out, options.deflate, notWhole)) ++failed;
    else con.out << in << " -> " << out << '\n';
  }
  if (unopened == static_cast<int>(files.size())) return kRefused;
  return unopened + failed + notWhole == 0 ? kDone : kPartly;
}

}  // namespace zep
