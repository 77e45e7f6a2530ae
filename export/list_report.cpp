#include "export/list_report.h"

#include <optional>
#include <string>

#include "disc/iso_time.h"
#include "disc/record_names.h"
#include "export/text_output.h"
#include "operations/disc_words.h"

namespace zep {

nlohmann::ordered_json ListReportValue(const RecordDirectory& dir, SourceType type) {
  using json = nlohmann::ordered_json;
  json doc;
  doc["title"] = Latin1ToUtf8(BuildTitle(dir, type));
  doc["label"] = HasLabel(dir) ? json(Latin1ToUtf8(RecordName(dir, kLabelSlot, type))) : json(nullptr);
  doc["records"] = json::array();
  auto textOrNull = [](const std::optional<std::string>& t) { return t ? json(*t) : json(nullptr); };
  for (const ListRow& row : BuildListRows(dir, type)) {
    const DirectoryEntry entry = ReadEntry(dir, row.slot, type);
    const IsoTimes iso = IsoTimesOf(entry);
    doc["records"].push_back({{"record", row.slot + 1},
                              {"slot", row.slot},
                              {"name", Latin1ToUtf8(row.cells[1])},
                              {"date", row.cells[2]},
                              {"start", row.cells[3]},
                              {"end", row.cells[4]},
                              {type == SourceType::Tk40 ? "pings" : "sectors", entry.extent.listed},
                              {"date_iso", textOrNull(iso.date)},
                              {"start_iso", textOrNull(iso.start)},
                              {"end_iso", textOrNull(iso.end)}});
  }
  return doc;
}

}  // namespace zep
