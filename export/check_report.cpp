#include "export/check_report.h"

#include <nlohmann/json.hpp>

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

}  // namespace zep
