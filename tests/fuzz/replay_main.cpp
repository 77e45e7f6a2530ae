// Runs a fuzz target over the files of its seed corpus, so the targets build
// and their seeds pass in every build, not only under libFuzzer.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "tests/support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int runs = 0;
  for (const auto& f : std::filesystem::directory_iterator(argc > 1 ? argv[1] : ".")) {
    const auto bytes = zep::test::ReadWholeFile(f.path());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++runs;
  }
  std::printf("%d inputs replayed\n", runs);
  return runs > 0 ? 0 : 1;
}
