#include "cli/run_report.h"

#include <algorithm>
#include <ostream>

#include "cli/text.h"

namespace zep::cli {

RunReport::~RunReport() {
  if (!con_.json) return;
  nlohmann::ordered_json doc;
  doc["files"] = files_;
  doc["failures"] = nlohmann::ordered_json::array();
  for (const Problem& p : con_.problems) doc["failures"].push_back({{"reason", p.Text()}});
  con_.out << doc.dump(2, ' ', false, kReplaceInvalid) << '\n';
}

}  // namespace zep::cli
