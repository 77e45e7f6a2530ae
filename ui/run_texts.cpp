#include "ui/run_texts.h"

#include "disc/detect_type.h"
#include "operations/disc_words.h"

namespace zep::ui {
namespace {

// A message box taller than the screen hides its OK button.
constexpr std::size_t kMaxListedLines = 16;

std::string ListLines(std::string text, const std::vector<std::string>& lines, std::string_view restNoun) {
  for (std::size_t i = 0; i < lines.size() && i < kMaxListedLines; ++i) text += "\n" + lines[i];
  if (lines.size() > kMaxListedLines) {
    text += "\n... and " + std::to_string(lines.size() - kMaxListedLines) + " more " + std::string(restNoun);
  }
  return text;
}

}  // namespace

std::optional<std::string> JoinOutputPath(std::string_view folder, std::string_view fileName) {
  std::string path(folder);
  if (path.empty() || path.back() != '\\') path += '\\';
  path += fileName;
  if (path.size() > kMaxPathLength) return std::nullopt;
  return path;
}

std::string ScanErrorText(const ScanResult& scan, char driveLetter, const std::string& imagePath) {
  switch (scan.outcome) {
    case ScanOutcome::DiscRead:
      return "";
    case ScanOutcome::NotMoDisc:
      return NotMoDiscMessage(driveLetter);
    case ScanOutcome::NotADisc:
      return "The file " + scan.problem->Text();
    case ScanOutcome::NoDisk:
      break;
  }
  if (imagePath.empty()) return NoDiskMessage(driveLetter);
  return "Cannot read the disc image " + imagePath + "\n\n" + (scan.problem ? scan.problem->Text() : "");
}

std::string ConvertingText(std::string_view recordName) {
  // The status text has room for 39 characters; names have at most 11.
  return ("Converting..." + std::string(recordName)).substr(0, 39);
}

std::string RecordSubject(int recordNumber, std::string_view name) {
  return "Record " + std::to_string(recordNumber) + " (" + std::string(name) + ")";
}

std::optional<RecordFailure> FailureOf(const ConvertResult& result, std::string subject) {
  if (result.status == ConvertStatus::Done) return std::nullopt;
  RecordFailure failure;
  failure.incomplete = result.status == ConvertStatus::Incomplete;
  failure.problem = {std::move(subject), JoinedText(result.problems),
                     result.failedUnits + result.beyondEndUnits + result.skippedUnits, result.Kind()};
  return failure;
}

RecordFailure PathTooLong(const std::string& folder, const std::string& fileName, std::string subject) {
  return {.problem = {std::move(subject),
                      "the output path " + folder + "\\" + fileName + " is longer than " +
                          std::to_string(kMaxPathLength) + " characters",
                      0, ProblemKind::kWriteFailed}};
}

std::string ConversionFailureText(const std::vector<RecordFailure>& failures) {
  std::vector<std::string> lines;
  for (const RecordFailure& f : failures) {
    lines.push_back(f.problem.subject + ": " + (f.incomplete ? "incomplete: " : "not converted: ") + f.problem.what);
  }
  const std::string head = failures.size() == 1 ? "1 record was not converted completely:\n"
                                                 : std::to_string(failures.size()) +
                                                       " records were not converted completely:\n";
  return ListLines(head, lines, "records");
}

std::string SplitFailureText(const Problems& failures) {
  std::vector<std::string> lines;
  for (const Problem& f : failures) lines.push_back(f.Text());
  return ListLines("Not every run of pings found in the scan dump could be written:\n", lines, "files");
}

std::string SourceStatusText(const std::string& mapfile, std::optional<SourceType> discLooksLike,
                             SourceType chosen, bool directoryLost) {
  std::string text = directoryLost ? "No records listed: the directory is lost (Tools > Recover Lost Records)" : "";
  // Only a hint: the user's choice stands, and nothing switches by itself.
  if (discLooksLike && *discLooksLike != chosen) {
    text += (text.empty() ? "" : " | ") + std::string("This disc looks like a ") + SourceTypeName(*discLooksLike) +
            " disc (File > Source Type)";
  }
  if (!mapfile.empty()) text += (text.empty() ? "" : " | ") + ("Mapfile in use: " + mapfile);
  return text;
}

}  // namespace zep::ui

namespace zep::ui {

std::string WrongTypeQuestion(SourceType chosen) {
  const SourceType fits = chosen == SourceType::Tk40 ? SourceType::ZepV1 : SourceType::Tk40;
  const std::string as = SourceTypeName(chosen);
  return "No record of this disc fits " + as + "; it looks like a " + SourceTypeName(fits) +
         " disc (File > Source Type).\n\nConverted as " + as +
         ", its records become files that are no .ZEP record files.\n\nConvert as " + as + " anyway?";
}

}  // namespace zep::ui
