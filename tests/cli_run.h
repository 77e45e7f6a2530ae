#pragma once
// Runs the built zepconv as a separate process, the way scripts run it: no
// terminal, empty stdin, both output streams captured in files.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/disc_image.h"
#include "tests/support/temp_dir.h"

namespace zep::test {

// Runs args[0] with the rest as its arguments; returns the exit status. With
// ctrlCWhenIn, presses Ctrl+C in the console it shares with the tool as soon
// as a temporary file ("~zep...") appears in that folder (Windows only).
int RunProcess(std::vector<std::string> args, const std::string& out, const std::string& err,
               const std::string& ctrlCWhenIn = {});

struct ToolRun {
  int status = -1;
  std::string out, err;  // line ends as on POSIX
};

inline ToolRun RunZepconv(const std::vector<std::string>& args, const std::string& ctrlCWhenIn = {}) {
  const TempDir capture;
  std::vector<std::string> all{ZEPCONV_PATH};
  all.insert(all.end(), args.begin(), args.end());
  ToolRun run{RunProcess(all, capture.File("out.txt"), capture.File("err.txt"), ctrlCWhenIn), "", ""};
  for (auto [name, text] : {std::pair{"out.txt", &run.out}, std::pair{"err.txt", &run.err}}) {
    for (std::uint8_t b : ReadWholeFile(capture.File(name))) {
      if (b != '\r') *text += static_cast<char>(b);  // the tool's streams are in text mode
    }
  }
  return run;
}

// A folder of the test's own for the images, maps and outputs it hands zepconv.
struct CliTest : ::testing::Test {
  std::string Write(const DiscImage& img, const std::string& name = "disc.img") const { return Put(name, img.bytes()); }
  std::string Put(const std::string& name, const std::string& text) const { return Put(name, std::vector<std::uint8_t>(text.begin(), text.end())); }
  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return WriteWholeFile(tmp.File(name), bytes);
  }
  TempDir tmp;
};

}  // namespace zep::test
