#include <iostream>

#include "cli/commands.h"
#include "cli/platform.h"

int main(int argc, char** argv) {
  zep::cli::PrepareConsole();
  return zep::cli::Main(argc, argv, std::cout, std::cerr, zep::cli::StderrIsTerminal());
}
