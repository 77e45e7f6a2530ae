#include <iostream>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/conventions.h"
#include "cli/platform.h"

int main(int argc, char** argv) {
  zep::cli::PrepareConsole();
  zep::cli::HandleInterrupts();
  const zep::Outcome status = zep::cli::Main(argc, argv, std::cout, std::cerr, zep::cli::StderrIsTerminal());
  return zep::ExitCode(zep::cli::FlushStandardOutput(std::cout, std::cerr, status));
}
