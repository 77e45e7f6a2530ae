#pragma once
// The check's report as JSON: one text for `zepconv check --json`, the
// inventory's check.json and the Windows program, built from the values the
// core gives, so the three cannot drift apart; and as zepconv check's text.

#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "convert/disc_check.h"
#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

struct CheckReport {
  std::string source;  // as given
  SourceType type = SourceType::Tk40;  // as the records were read
  TypeEvidence evidence;
  RecordDirectory dir{};
  std::optional<Problem> directoryProblem;  // none when the directory was read whole
  DiscHealth health;
};

// Indented by two, ending in a newline; names as UTF-8 from their Latin-1 bytes.
nlohmann::ordered_json CheckReportValue(const CheckReport& report);
std::string CheckReportJson(const CheckReport& report);
// The report as `zepconv check` shows it: the disc, then a table of its records.
void WriteCheckReportText(std::ostream& out, const CheckReport& report);

}  // namespace zep
