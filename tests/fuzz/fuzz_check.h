#pragma once
// Invariants a fuzz target insists on: a broken one aborts, which libFuzzer
// reports with the input that broke it. Converter targets write into a
// scratch path of their process's own in the temporary folder.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

#define FUZZ_CHECK(cond) \
  ((cond) ? void() : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), std::abort()))

inline std::string FuzzScratch(const char* what) {
  return (std::filesystem::temp_directory_path() / ("zepfuzz-" + std::to_string(ZEP_GETPID()) + "-" + what)).string();
}
