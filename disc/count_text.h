#pragma once
// Counts and runs of numbers as every message says them.

#include <cstdint>
#include <string>
#include <vector>

#include "disc/unit_reader.h"

namespace zep {

// "1 disc", "2 discs".
std::string Counted(std::int64_t n, const char* one, const char* many);
std::string Counted(std::int64_t n, const std::string& one);  // many: one + "s"

// "14, 92<between>94": each run's first number, and its last after between
// when it holds more than one. A run that starts below zero (a unit before
// the volume) always takes " to ", which a minus sign cannot be told from.
std::string RunList(const std::vector<UnitRun>& runs, const char* between);

}  // namespace zep
