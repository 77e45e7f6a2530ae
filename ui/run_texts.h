#pragma once
// Paths and texts of a conversion run and of the dump splitter, as plain
// functions of their inputs.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"
#include "disc/directory.h"
#include "disc/problem.h"
#include "disc/scan.h"

namespace zep::ui {

// The longest path the run forms: 260 characters with the terminator.
inline constexpr std::size_t kMaxPathLength = 259;

// folder\fileName, with no second backslash after a folder that ends in one
// (a drive root such as "D:\"). Empty when the path would be too long.
std::optional<std::string> JoinOutputPath(std::string_view folder, std::string_view fileName);

// The error box of a scan that read no disc, made from its outcome and
// problem and from what was scanned: the drive's letter, or the image's path
// when one was opened. Empty when the disc was read.
std::string ScanErrorText(const ScanResult& scan, char driveLetter, const std::string& imagePath);

// "Converting..." directly followed by the record's name, as the status bar's
// first part shows it while the record is written.
std::string ConvertingText(std::string_view recordName);

// A record that failed, as the core names its problems: the subject is the
// record, "Record 2 (HARBOUR)", as the list numbers it and the disc names it.
struct RecordFailure {
  Problem problem;
  bool incomplete = false;  // a file was written, but without some of the record
};
std::string RecordSubject(int recordNumber, std::string_view name);

// What a record's conversion comes to in the run's error box, its kind that
// of the first fault the core met: nothing when the file is whole.
std::optional<RecordFailure> FailureOf(const ConvertResult& result, std::string subject);
// The record whose output path would be longer than kMaxPathLength: nothing
// is written for it.
RecordFailure PathTooLong(const std::string& folder, const std::string& fileName, std::string subject);

// The one "Error" box after a run in which records failed; at most a screen's
// worth of lines, then a count of the rest.
std::string ConversionFailureText(const std::vector<RecordFailure>& failures);

// The status bar's line about the source: the mapfile reads go through, a
// hint when the listed disc looks like the other recorder's than the one
// chosen, and where to turn when an image lists no record (its directory is
// lost). Empty when there is nothing to say.
std::string SourceStatusText(const std::string& mapfile, std::optional<SourceType> discLooksLike,
                             SourceType chosen, bool directoryLost = false);

// The Yes/No question before a conversion as a type that no record of the
// disc fits, naming the type that fits.
std::string WrongTypeQuestion(SourceType chosen);

// The "Error" box of the dump splitter: each output it could not write.
std::string SplitFailureText(const Problems& failures);

}  // namespace zep::ui
