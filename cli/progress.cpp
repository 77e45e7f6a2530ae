#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

#include "cli/text.h"

namespace zep::cli {
namespace {

constexpr int kBarCells = 24;
// Redrawing for every ping would make the terminal the bottleneck.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// The speed of the first moments says little.
constexpr double kMinSecondsForSpeed = 0.25;

}  // namespace

std::string ProgressLine(std::string_view label, std::int64_t done, std::int64_t total, std::string_view unit,
                         double bytesPerSecond) {
  const std::int64_t filled = total > 0 ? std::clamp<std::int64_t>(done * kBarCells / total, 0, kBarCells) : kBarCells;
  std::string line(label);
  line += std::string(DisplayWidth(label) < 11 ? 11 - DisplayWidth(label) : 0, ' ');
  line += "  [" + std::string(static_cast<std::size_t>(filled), '#') +
          std::string(static_cast<std::size_t>(kBarCells - filled), '.') + "]  ";
  line += std::to_string(done) + "/" + std::to_string(total) + " " + std::string(unit);
  if (bytesPerSecond >= 0) {
    char speed[32];
    std::snprintf(speed, sizeof speed, "  %.1f MB/s", bytesPerSecond / 1e6);
    line += speed;
  }
  return line;
}

ProgressBar::ProgressBar(std::ostream& err, bool enabled, std::string label, std::int64_t total, std::string unit,
                         std::int64_t unitBytes)
    : err_(err),
      enabled_(enabled),
      label_(std::move(label)),
      unit_(std::move(unit)),
      total_(std::max<std::int64_t>(total, 0)),
      unitBytes_(unitBytes),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {
  Draw(0, true);
}

ProgressBar::~ProgressBar() {
  if (enabled_ && drawnWidth_ > 0) err_ << '\r' << std::string(drawnWidth_, ' ') << '\r' << std::flush;
}

Progress ProgressBar::Hooks() {
  Progress p;
  if (!enabled_) return p;
  // The core reports the index of the unit just done.
  p.setPos = [this](std::int32_t position) { Draw(static_cast<std::int64_t>(position) + 1, false); };
  return p;
}

void ProgressBar::Draw(std::int64_t done, bool force) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && done < total_ && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double speed = seconds >= kMinSecondsForSpeed ? static_cast<double>(done * unitBytes_) / seconds : -1.0;
  const std::string line = ProgressLine(label_, done, total_, unit_, speed);
  const std::size_t width = DisplayWidth(line);
  // Spaces over what a longer earlier line left behind.
  err_ << '\r' << line << std::string(drawnWidth_ > width ? drawnWidth_ - width : 0, ' ') << std::flush;
  drawnWidth_ = std::max(drawnWidth_, width);
}

}  // namespace zep::cli
