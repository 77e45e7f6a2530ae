#pragma once
// The commands of zepconv. Each returns the process's exit status and writes
// its results to out and every problem, named, to err.

#include <ostream>
#include <string>
#include <vector>

#include "disc/directory.h"

namespace zep::cli {

// Exit statuses.
inline constexpr int kDone = 0;     // everything asked for was done completely
inline constexpr int kPartly = 1;   // something was done, not all of it
inline constexpr int kRefused = 2;  // a usage error, or a source that cannot be read at all

struct Console {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;  // draw progress bars on err
  // --json on a command that writes files: its one object replaces the lines
  // on out, and lists the problems named on err, which are gathered here.
  bool json = false;
  const std::vector<std::string>* problems = nullptr;
};

int ListCommand(Console& con, const std::string& source, SourceType type, bool json);
// recordNumbers as listed (1 to 64); empty means every record.
int ConvertCommand(Console& con, const std::string& source, SourceType type, const std::string& outDir,
                   const std::vector<int>& recordNumbers);
int DumpCommand(Console& con, const std::string& source, const std::string& outFile);
int SplitCommand(Console& con, const std::string& dumpPath, const std::string& outDir);
int InfoCommand(Console& con, const std::vector<std::string>& files, bool json);

// The whole tool: parses the command line and runs the command it names.
int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool stderrIsTerminal);

}  // namespace zep::cli
