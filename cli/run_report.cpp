#include "cli/run_report.h"

#include <algorithm>
#include <ostream>

#include "cli/text.h"
#include "export/text_output.h"

namespace zep::cli {

RunReport::~RunReport() {
  if (!con_.json) return;
  nlohmann::ordered_json doc;
  doc["files"] = files_;
  doc["failures"] = nlohmann::ordered_json::array();
  for (const Problem& p : con_.problems) doc["failures"].push_back({{"reason", p.Text()}});
  WriteJson(con_, doc);
}

void WriteJson(Console& con, const nlohmann::ordered_json& doc) {
  if (con.document) *con.document = doc;
  else con.out << JsonText(doc);
}

}  // namespace zep::cli
