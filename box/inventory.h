#pragma once
// The inventory of a box of discs: what each disc held, what was made of it,
// and the files that lay it out for people (HTML pages with pictures) and for
// scripts (CSV, JSON, a SHA-256 manifest). Also the state a stopped run
// resumes from. Nothing here reads a disc: the caller fills these in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/disc_check.h"
#include "disc/problem.h"
#include "operations/disc_tally.h"

namespace zep {

struct LatLon {
  double lat = 0, lon = 0;
};

// One record of a disc, or one run that carving found on a disc whose
// directory is lost.
struct InventoryRecord {
  std::optional<int> record;  // as listed; none for a carved run
  std::string name;
  std::string date, start, end;  // ISO 8601; empty where the disc gives none
  std::int64_t pings = 0;
  std::optional<Verdict> verdict;  // the check's; none for a run carved from a disc whose directory is lost
  std::int64_t unitsLost = 0;  // blocks or sectors that failed: unreadable, or without a mode
  // Units the directory entry claims past the end of the image: not lost
  // reads, often a damaged count.
  std::int64_t unitsPastEnd = 0;
  // Units a GNU ddrescue mapfile marks never tried: not read, not bad either.
  std::int64_t unitsNeverTried = 0;
  std::string output;          // the record file, relative to the disc's folder; empty when none
  std::string outputSha256;
  std::optional<LatLon> firstFix, lastFix;
  double trackKm = 0;
  std::string track;                    // GeoJSON, relative to the disc's folder
  std::string viewer;                   // the echogram viewer's page, as track; empty when none
  std::vector<std::string> echograms;   // pictures, as track; the first is the thumbnail
  int thumbWidth = 0, thumbHeight = 0;  // of the first picture
  // The track thinned out for drawing: segments of points.
  std::vector<std::vector<LatLon>> shape;
};

// A file the run wrote, as it was when written: what --resume checks.
struct InventoryFile {
  std::string path;  // relative to the inventory folder
  std::string sha256;
  std::uint64_t size = 0;
  std::string mtime;  // ISO 8601, UTC, to the nanosecond the file system keeps
  bool operator<(const InventoryFile& o) const { return path < o.path; }
};

// A disc's health, from the disc alone.
enum class Health {
  kWhole,
  kDamaged,        // something is lost
  kDirectoryLost,  // records carved from the whole disc
  kUnreadable,     // nothing could be read
  kNotRead,        // its folder could not be made: the output's fault, not the disc's
};
// "whole", "damaged", "directory lost", "unreadable", "not read": the word
// the table, the pages, the state and every face show.
const char* HealthName(Health health);
std::optional<Health> HealthNamed(std::string_view name);

// A record's verdict as the table and the pages show it: the check's word,
// or "carved".
const char* VerdictText(const std::optional<Verdict>& verdict);

struct InventoryDisc {
  std::string image;     // as given (the table and pages show its file name)
  std::string folder;    // relative to the inventory folder
  std::uint64_t size = 0;
  std::string mtime;     // the image's modification time, ISO 8601 as InventoryFile's
  std::string sha256;    // empty when the image could not be read whole
  std::string mapfile;   // the GNU ddrescue mapfile used, if any, as found
  std::string type;      // "TK40", "ZEP V1.X", or empty when neither
  std::string label;
  Health health = Health::kWhole;
  Problems problems;     // every problem of the disc, each once
  std::vector<InventoryRecord> records;
  std::string checkReport;  // the check's JSON report, relative to the disc's folder
  // Every file written for this disc, by path.
  std::vector<InventoryFile> files;
  // Taken as an earlier run left it, not read in this one (not kept in the state).
  bool asBefore = false;
};

// Whether every output the disc was to give was written. Apart from the
// disc's health, which comes from the disc alone.
enum class Outputs {
  kWritten,
  kFailed,  // one or more could not be (a full disk, say); each is named in the disc's problems
  kNone,    // nothing was to be written
};
Outputs OutputStatus(const InventoryDisc& disc);
// Whether a problem is an output's rather than the disc's: a file that could
// not be written (kWriteFailed), or what writing it needs missing from this
// machine (kMissing: netCDF-C's module).
bool OutputsProblem(const Problem& problem);
// The health a disc read in full earns: its directory lost when a
// kNoDirectory problem says it was carved; damaged by any problem of its own
// (an output's aside) or any unit a record lost; whole otherwise.
Health HealthOf(const InventoryDisc& disc);
// The counts of discs as the disc commands count them, units in sectors. A
// disc of neither type gave only carved runs, whose units are sectors.
DiscTally TallyOf(const std::vector<InventoryDisc>& discs);
const char* OutputsName(Outputs outputs);  // "written", "failed", "none"

// "-2", "-3", ... keep two images of one name apart, in the order given. The
// names are made safe for any file system; case is ignored when comparing,
// as Windows does. taken holds names already given (a resumed run's, the
// box's own files); a name whose NAME.html is taken is taken too.
std::string DiscFolderName(const std::string& imagePath, std::vector<std::string>& taken);

std::string InventoryCsv(const std::vector<InventoryDisc>& discs);
std::string InventoryJson(const std::vector<InventoryDisc>& discs);
// "HEX  PATH" lines, as sha256sum writes and checks them, sorted by path.
std::string ManifestText(const std::vector<InventoryFile>& files);

// The resume state: every disc done so far, whole.
std::string StateJson(const std::vector<InventoryDisc>& discs);
// Nothing for text that is no state of ours (then the run starts afresh).
std::optional<std::vector<InventoryDisc>> ParseState(const std::string& text);

// index.html (links to "<folder>.html" for each disc) and a disc's page.
std::string IndexHtml(const std::vector<InventoryDisc>& discs, const std::string& title);
std::string DiscHtml(const InventoryDisc& disc);
std::string DiscPageName(const InventoryDisc& disc);  // beside index.html
// The folder beside index.html that holds the viewer's script and style.
inline constexpr const char* kViewerAssets = "zep-viewer";

// Great-circle distance, for the tracks' lengths and the scale bar.
double Kilometres(const LatLon& a, const LatLon& b);

}  // namespace zep
