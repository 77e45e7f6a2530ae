#pragma once
// What the exports (pings, track, echogram, netcdf) share: an output that is
// a file or standard output, written through a buffer and checked once at the
// end; rows written alike as CSV or JSON; the walk of a list of record files
// with its problems named.

#include <charconv>
#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "export/sink.h"
#include "convert/record_file.h"
#include "disc/file.h"

namespace zep {

// Names on a disc and in a ping's text are bytes, one per character, in no
// declared character set; each byte is taken as the character of the same
// value (ISO 8859-1), written as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);
void AppendUtf8(std::string& out, unsigned char latin1);

// For a terminal line: as Latin1ToUtf8, but control characters (a carriage
// return is an ordinary name byte on a TK40 disc) appear as \xNN, so they
// cannot move the cursor or break a table.
std::string Printable(std::string_view bytes);

// Columns a UTF-8 text takes on a terminal (every character zepconv shows is
// one column wide).
std::size_t DisplayWidth(std::string_view utf8);

struct TableColumn {
  std::string heading;
  bool rightAligned = false;
};

// Columns two spaces apart, each as wide as its widest cell; cells are UTF-8.
void WriteTable(std::ostream& out, const std::vector<TableColumn>& columns,
                const std::vector<std::vector<std::string>>& rows);

// The one name every file made from a record file takes, before its own
// ending (".nc", ".geojson", "-echogram.png"): the record file's path without
// ".ZEP" (in any case), and with every other extension kept, so that the
// records REEF.A and REEF.B (files REEF.A and REEF.B) give REEF.A.nc and
// REEF.B.nc, never one REEF.nc.
std::string RecordStem(const std::string& recordFile);

// For JSON output: paths come from the command line in the system's own
// encoding, which need not be UTF-8; a byte that is not becomes U+FFFD rather
// than ending the output.
inline constexpr auto kReplaceInvalid = nlohmann::json::error_handler_t::replace;

// h:mm:ss of a count of seconds, the hours as many as there are.
std::string ClockText(std::int64_t seconds);

// A JSON document as every one of ours is written: indented by two, a byte
// that is not UTF-8 replaced, and a newline after it.
std::string JsonText(const nlohmann::ordered_json& doc);

class TextOutput {
 public:
  // An empty path or "-" is standard output.
  TextOutput(Sink& con, const std::string& path);
  bool open() const { return toStdout_ || file_.open(); }
  Problem problem() const { return file_.problem(); }
  // Append to it, then call Flush now and then.
  std::string& text() { return text_; }
  void Flush(bool force = false);
  // Writes the rest; false (named on err) when any write failed.
  bool Close();
  // For output that would mislead: a file is removed, standard output keeps
  // what it was sent.
  void Discard();

 private:
  Sink& con_;
  bool toStdout_;
  OutputFile file_;
  std::string text_;
};

// True, and said on err, when out names one of the files to be read: writing
// it would destroy what is being read.
bool WouldOverwriteInput(Sink& con, const std::string& out, const std::vector<std::string>& inputs);

// The value text of a ping's gpsText field: up to its carriage return and
// before any zero byte (a field that no text has reached yet is all zeros).
std::string StoredGpsText(const PingInfo& p);

// One row of named values, as CSV (RFC 4180 quoting, no header: see Header)
// or as one JSON object on a line. Missing values are empty or null.
class RowWriter {
 public:
  RowWriter(std::string& out, bool json, std::span<const char* const> keys) : out_(out), json_(json), keys_(keys) {}
  void Header();  // CSV only
  void Begin();
  void End();
  void Null();
  void Int(std::int64_t v);
  void Bool(bool v);
  void Number(std::string_view text);  // already formatted
  void Text(std::string_view utf8);

 private:
  void Key();
  std::string& out_;
  bool json_;
  std::span<const char* const> keys_;
  std::size_t field_ = 0;
};

void AppendCsvField(std::string& out, std::string_view utf8);
// utf8 as a JSON string. inScript: safe inside an HTML script element too,
// with <, > and & as \u escapes.
void AppendJsonString(std::string& out, std::string_view utf8, bool inScript = false);
// Text in XML or HTML, in an element or a quoted attribute: & < > " ' escaped,
// and a control byte, which neither may hold, as U+FFFD.
void AppendXmlText(std::string& out, std::string_view utf8);
inline std::string MarkupEscaped(std::string_view utf8) {
  std::string out;
  AppendXmlText(out, utf8);
  return out;
}
void AppendInt(std::string& out, std::int64_t v);
// A relative path as a URL: each byte that is not plainly safe is %-escaped.
std::string Href(std::string_view path);
// A number with digits after the point, the same whatever the locale.
inline std::string FixedText(double v, int digits) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
  return std::string(buf, r.ptr);
}

// Walks each file ping by ping; a file that cannot be opened or is not whole
// is named on err. Returns the exit status: 2 when no file could be opened,
// 1 when any failed, else 0.
struct WalkCounts {
  int unopened = 0, notWhole = 0, files = 0;
  Outcome Status() const;
};
void WalkAndReport(Sink& con, const std::string& path, const PingVisitor& visit, WalkCounts& counts,
                   const PingSampleVisitor& visitSamples = {});

// Closes what a command wrote from the files it walked and gives its exit
// status; output from files none of which could be read is removed.
Outcome FinishOutput(TextOutput& out, const WalkCounts& counts);

}  // namespace zep
