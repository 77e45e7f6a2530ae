#pragma once
// The progress bar of one record on stderr: units done of the total and the
// reading speed, redrawn in place on one terminal line.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "convert/convert.h"

namespace zep::cli {

// One bar line, for example
//   SURVEY1      [#########...............]  120/320 pings   3.4 MB/s
// bytesPerSecond below zero leaves the speed out.
std::string ProgressLine(std::string_view label, std::int64_t done, std::int64_t total, std::string_view unit,
                         double bytesPerSecond);

class ProgressBar {
 public:
  // total is the record's own unit count: the core's range message carries
  // only its low 16 bits, too few for a long record. A disabled bar draws
  // nothing at all.
  ProgressBar(std::ostream& err, bool enabled, std::string label, std::int64_t total, std::string unit,
              std::int64_t unitBytes);
  ~ProgressBar();  // wipes the line, so what follows starts on a clean one
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // The core's callbacks; they refer to this bar, which must outlive them.
  Progress Hooks();

 private:
  void Draw(std::int64_t done, bool force);

  std::ostream& err_;
  bool enabled_;
  std::string label_, unit_;
  std::int64_t total_, unitBytes_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  std::size_t drawnWidth_ = 0;
};

}  // namespace zep::cli
