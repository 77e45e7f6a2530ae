// The commands that work on files: split (a scan dump into record files) and
// info (what a record file holds, and whether it is whole).



#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "export/text_output.h"
#include "cli/files.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "export/record_report.h"
#include "operations/dump_map.h"
#include "convert/convert.h"
#include "convert/record_file.h"
#include "disc/count_text.h"
#include "disc/file.h"
#include "disc/text_file.h"

namespace zep::cli {

bool MakeFolder(Console& con, const std::string& dir) {
  std::optional<Problem> refused = zep::MakeFolder(dir);
  if (refused) con.Report(std::move(*refused));
  return !refused;
}

namespace {

}  // namespace

Outcome SplitCommand(Console& con, const std::string& dumpPath, const std::string& outDir, const DiscOptions& options) {
  RunReport report(con);
  const DumpSplit split = SplitDump(dumpPath, outDir, options.mapfile, {.noClobber = options.noClobber});
  if (split.dumpOpened && split.map.foundBeside) con.Note({dumpPath, "using the mapfile beside it, " + split.map.mapfile});
  if (split.refused) {
    con.Report(*split.refused);
    return kRefused;
  }
  const SplitResult& r = split.result;
  if (!r.dumpOpened) {
    con.Report(*r.dumpError);
    return kRefused;
  }
  const std::vector<std::optional<Problem>> unread = UnreadFileProblems(r);
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    if (con.json) report.Wrote({{"file", r.files[i]}, {"pings", r.filePings[i]}, {"unread_bytes", r.fileUnread[i]}});
    else con.out << r.files[i] << ": " << Counted(static_cast<std::int64_t>(r.filePings[i]), "ping") << '\n';
    if (unread[i]) con.Report(*unread[i]);
  }
  FileTally tally{.written = static_cast<int>(r.files.size())};
  for (const Problem& failure : r.failures) tally.Failed(failure);
  for (const Problem& p : SplitProblems(dumpPath, r)) con.Report(p);
  const bool anyUnread = std::any_of(unread.begin(), unread.end(), [](const auto& p) { return p.has_value(); });
  return tally.Status(r.dumpError.has_value() || r.runs == 0 || anyUnread);
}

Outcome InfoCommand(Console& con, const std::vector<std::string>& files, bool json) {
  nlohmann::ordered_json reports = nlohmann::ordered_json::array();
  WalkCounts counts{.files = static_cast<int>(files.size())};
  for (std::size_t i = 0; i < files.size(); ++i) {
    const RecordFileReport r = InspectRecordFile(files[i]);
    if (r.unusable) {
      ++counts.unopened;
      con.Report(*r.unusable);
    } else if (!r.walk.Whole()) {
      ++counts.notWhole;
      con.Report({r.file, "not whole: " + r.walk.NotWholeText(), 0, ProblemKind::kUnreadable});
    }
    if (json) {
      reports.push_back(RecordReportValue(r));
    } else if (!r.unusable) {
      if (i > 0) con.out << '\n';
      WriteRecordReportText(con.out, r);
    }
  }
  if (json) WriteJson(con, reports);
  return counts.Status();
}

}  // namespace zep::cli
