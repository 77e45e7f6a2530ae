#pragma once
// What makes zepconv answer like the tools its users know, for every command
// on the command line, including commands added later: errors from the parser
// under the same "zepconv:" prefix as errors at run time, "unknown command",
// `help COMMAND`, --version, a failed write to stdout reported, and the bash
// completion and the man page's command list generated from the command line
// itself, so they cannot go stale.

#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "export/sink.h"

namespace zep::cli {

// "zepconv 0.4.0 (git describe)" and the licence, as --version prints it.
std::string VersionText();

// Installs the conventions above on app. Call it after every command has
// been added and before app.parse().
void AddConventions(CLI::App& app, std::ostream& out);

// An integer option's check: "not a number: x" or "x is not between lo and hi".
CLI::Validator NumberIn(int lo, int hi);

// A decimal option's check: "not a number: x" or "x UNIT is not more than lo".
CLI::Validator NumberAbove(double lo, const std::string& unit);

// Each item of a list option such as --record 1-3,5: a number or a range
// of them, within lo and hi (ExpandRanges gives every number they name).
CLI::Validator NumbersIn(int lo, int hi);

// The bash completion script for app's commands and options.
std::string BashCompletion(const CLI::App& app);

// The commands in detail and the exit statuses, as a help2man include file.
std::string ManInclude(const CLI::App& app);

// Flushes out; a write that failed (a full disk, a closed pipe) turns a
// status 0 into 1 and is named on err.
Outcome FlushStandardOutput(std::ostream& out, std::ostream& err, Outcome status);

}  // namespace zep::cli
