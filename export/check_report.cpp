#include "export/check_report.h"

#include <nlohmann/json.hpp>

#include "disc/count_text.h"
#include "disc/record_names.h"
#include "export/text_output.h"

namespace zep {
namespace {

using json = nlohmann::ordered_json;

json SlotJson(const SlotEvidence& s) {
  return {{"slot", s.slot},        {"label", s.label},         {"unknown_status", s.strange},
          {"tk40_name", s.tk40Name}, {"zep_name", s.zepName},    {"tk40_date", s.tk40Date},
          {"zep_date", s.zepDate},   {"opens_ping", s.opensPing}, {"fits_tk40", s.fitsTk40()},
          {"fits_zep", s.fitsZep()}};
}

json EvidenceJson(const TypeEvidence& ev) {
  json evidence = {{"verdict", ev.Describe()}, {"fit_tk40", ev.fitTk40}, {"fit_zep", ev.fitZep},
                   {"open_with_ping", ev.opensPing}, {"slots", json::array()}};
  for (const SlotEvidence& s : ev.slots) evidence["slots"].push_back(SlotJson(s));
  return evidence;
}

// Inclusive [first, last] pairs.
json RunsJson(const std::vector<UnitRun>& runs) {
  json list = json::array();
  for (const UnitRun& u : runs) list.push_back({u.first, u.first + u.count - 1});
  return list;
}

json RecordJson(const RecordHealth& h, const CheckReport& r) {
  const bool tk40 = r.type == SourceType::Tk40;
  json rec = {{"record", h.slot + 1},
              {"name", Latin1ToUtf8(RecordName(r.dir, h.slot, r.type))},
              {"unit", tk40 ? "block" : "sector"},
              {"directory_count", h.directoryCount},
              {"first_unit", h.firstUnit},
              {"units", h.units},
              {"whole_units", h.wholeUnits},
              {"unreadable_units", h.unreadableUnits},
              {"never_tried_units", h.notTriedUnits},
              {"unreadable", RunsJson(h.unreadable)},
              {"beyond_end", h.beyondEnd}};
  if (tk40) {
    rec["no_mode"] = h.noMode;
  } else {
    rec["pings_found"] = h.pingsFound;
    rec["walk_breaks_at"] = h.walkBreaksAt ? json(*h.walkBreaksAt) : json(nullptr);
    rec["walk_runs"] = h.walkRuns;
  }
  rec["pings"] = h.pings;
  rec["unread_pings"] = h.unreadPings;
  rec["missing_pings"] = h.MissingPings();
  rec["missing"] = RunsJson(h.missing);
  rec["verdict"] = VerdictName(h.verdict);
  return rec;
}

}  // namespace

nlohmann::ordered_json CheckReportValue(const CheckReport& r) {
  json records = json::array();
  for (const RecordHealth& h : r.health.records) records.push_back(RecordJson(h, r));
  const AreaHealth& d = r.health.dump;
  const json label = HasLabel(r.dir) ? json(Latin1ToUtf8(RecordName(r.dir, kLabelSlot, r.type))) : json(nullptr);
  json doc = {{"source", r.source},
              {"type", SourceTypeName(r.type)},
              {"evidence", EvidenceJson(r.evidence)},
              {"directory_read", !r.directoryProblem},
              {"directory_error", r.directoryProblem ? json(r.directoryProblem->Text()) : json(nullptr)},
              {"label", label},
              {"dump_area", {{"readable", d.readable()}, {"pieces", d.pieces}, {"unreadable_pieces", d.unreadable},
                             {"beyond_end_pieces", d.beyondEnd}}},
              {"records", records}};
  return doc;
}

std::string CheckReportJson(const CheckReport& r) { return JsonText(CheckReportValue(r)); }

namespace {

std::string Ranges(const std::vector<UnitRun>& runs) { return RunList(runs, "-"); }

// "320, to the end", "92, breaks at byte 3698176", "14 + 224 after 1 hole".
std::string WalkText(const RecordHealth& h) {
  std::string text;
  for (std::uint64_t run : h.walkRuns) text += (text.empty() ? "" : " + ") + std::to_string(run);
  const std::size_t holes = h.walkRuns.size() - 1;
  if (holes > 0) text += " after " + Counted(static_cast<std::int64_t>(holes), "hole");
  if (h.walkStopsAt) text += ", breaks at byte " + std::to_string(*h.walkStopsAt);
  else if (holes == 0) text += ", to the end";
  return text;
}

}  // namespace

void WriteCheckReportText(std::ostream& out, const CheckReport& r) {
  const bool tk40 = r.type == SourceType::Tk40;
  const AreaHealth& d = r.health.dump;
  const bool noDirectory = r.evidence.kind == DiscKind::Blank && r.directoryProblem;
  out << "type       " << (noDirectory ? "no record directory to weigh" : r.evidence.Describe());
  if (r.evidence.type() != r.type && !r.health.records.empty()) {
    out << "; read as " << SourceTypeName(r.type) << " as --type says";
  }
  out << '\n'
          << "directory  " << (!r.directoryProblem ? "read" : "not read whole: " + r.directoryProblem->Text()) << '\n'
          << "label      " << (HasLabel(r.dir) ? Printable(RecordName(r.dir, kLabelSlot, r.type)) : "none") << '\n'
          << "dump area  ";
  if (d.readable()) out << "readable\n";
  else if (d.beyondEnd == d.pieces) out << "past the end of the volume\n";
  else out << d.unreadable << " of " << d.pieces << " pieces unreadable, " << d.beyondEnd << " past the end\n";
  out << '\n';
  if (r.health.records.empty()) {
    out << "(no records)\n";
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const RecordHealth& h : r.health.records) {
    std::vector<std::string> row = {std::to_string(h.slot + 1), Printable(RecordName(r.dir, h.slot, r.type)),
                                    std::to_string(h.directoryCount), std::to_string(h.wholeUnits),
                                    h.unreadable.empty() ? "-" : Ranges(h.unreadable), std::to_string(h.beyondEnd)};
    if (tk40) row.push_back(std::to_string(h.noMode));
    else row.push_back(WalkText(h));
    row.push_back(std::to_string(h.pings));
    row.push_back(h.unreadPings > 0 ? std::to_string(h.unreadPings) : "-");
    row.push_back(h.missing.empty() ? "-" : Ranges(h.missing));
    row.push_back(VerdictName(h.verdict));
    rows.push_back(row);
  }
  const std::string unit = tk40 ? "blocks" : "sectors";
  WriteTable(out,
             {{"Record", true}, {"Name"}, {"Count", true}, {"Whole " + unit, true}, {"Unreadable " + unit},
              {"Beyond end", true}, {tk40 ? "No mode" : "Walk (pings)", tk40}, {"Pings", true}, {"Unread pings", true},
              {"Missing pings"}, {"Verdict"}},
             rows);
  // The two columns that seem to disagree by 2 on every record.
  if (!tk40) {
    out << "\nCount is the directory's; the first 2 sectors of a record are never copied, the other sector "
               "columns count the rest.\n";
  }
}

}  // namespace zep
