#pragma once
// A disc's record list as JSON (`zepconv list --json`): the cells the list
// shows, and beside them the numbers and ISO times they were made from, so
// that scripts never parse a display cell.

#include <nlohmann/json.hpp>

#include "disc/directory.h"

namespace zep {

// Names as UTF-8 from their Latin-1 bytes; "pings" on a TK40 disc,
// "sectors" on a ZEP V1.X one, as the directory counts them.
nlohmann::ordered_json ListReportValue(const RecordDirectory& dir, SourceType type);

}  // namespace zep
