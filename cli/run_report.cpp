#include "cli/run_report.h"

#include <ostream>

#include "cli/text.h"

namespace zep::cli {

ProblemLog::int_type ProblemLog::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  if (ch == '\n') {
    constexpr std::string_view kPrefix = "zepconv: ";
    if (line_.starts_with(kPrefix)) lines_.push_back(line_.substr(kPrefix.size()));
    line_.clear();
  } else if (ch == '\r') {
    line_.clear();
  } else {
    line_ += ch;
  }
  return target_.sputc(ch);
}

RunReport::~RunReport() {
  if (!con_.json) return;
  nlohmann::ordered_json doc;
  doc["files"] = files_;
  doc["failures"] = nlohmann::ordered_json::array();
  if (con_.problems != nullptr) {
    for (const std::string& reason : *con_.problems) doc["failures"].push_back({{"reason", reason}});
  }
  con_.out << doc.dump(2, ' ', false, kReplaceInvalid) << '\n';
}

}  // namespace zep::cli
