#pragma once
// Runs the built zepconv as a separate process, the way scripts run it: no
// terminal, empty stdin, both output streams captured.

#include <string>
#include <vector>

namespace zep::test {

struct ToolRun {
  int status = -1;  // the exit status
  std::string out, err;
};

ToolRun RunZepconv(const std::vector<std::string>& args);

}  // namespace zep::test
