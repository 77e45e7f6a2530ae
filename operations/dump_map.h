#pragma once
// The map of a scan dump's unread bytes, which zepconv dump writes beside a
// dump it could not read whole: the one given, or DUMP.map beside it. No
// other name is tried: DUMP's stem may be the disc image's, whose map
// describes the disc, not the dump.

#include <memory>
#include <optional>
#include <string>

#include "disc/problem.h"
#include "disc/rescue_map.h"

namespace zep {

struct DumpMapLoad {
  std::shared_ptr<const RescueMap> map;  // null when there is none
  std::string mapfile;                   // the one read
  bool foundBeside = false;              // not given: found beside the dump
  std::optional<Problem> problem;        // it cannot be used
};

DumpMapLoad LoadDumpMap(const std::string& dumpPath, const std::string& mapfile);

}  // namespace zep
