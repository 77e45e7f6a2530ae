#pragma once
// Where the converter fuzz targets write: one file or folder per process in
// the temporary folder, removed after each input.

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <process.h>
#define ZEP_FUZZ_PID _getpid()
#else
#include <unistd.h>
#define ZEP_FUZZ_PID getpid()
#endif

inline std::string FuzzScratch(const char* what) {
  return (std::filesystem::temp_directory_path() / ("zepfuzz-" + std::to_string(ZEP_FUZZ_PID) + "-" + what))
      .string();
}
