#pragma once
// Each command of zepconv is added to the command line by a function of its
// own, which keeps what the command's options are read into alive in the
// run it returns.

#include <functional>

#include "cli/console.h"

namespace CLI {
class App;
}

namespace zep::cli {

struct Command {
  CLI::App* line;                       // set when the command was given
  std::function<Outcome(Console&)> run;     // the exit status
  const bool* json = nullptr;           // its --json, when it has one
};

}  // namespace zep::cli
