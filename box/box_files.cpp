// The inventory's own files: how they are stamped for --resume, named
// below the inventory folder, and written so that their hashes come from
// the writes.

#include <chrono>
#include <filesystem>

#include "disc/civil_date.h"
#include "disc/text_file.h"
#include "box/box_parts.h"

namespace zep::box {
namespace {

namespace fs = std::filesystem;

std::string Two(std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Nanoseconds since 1970 UTC as ISO 8601.
std::string IsoNanoseconds(std::int64_t ns) {
  constexpr std::int64_t kDay = 86400LL * 1000000000LL;
  std::int64_t days = ns / kDay, rest = ns % kDay;
  if (rest < 0) rest += kDay, --days;
  const std::int64_t seconds = rest / 1000000000, fraction = rest % 1000000000;
  std::string digits = std::to_string(fraction);
  digits.insert(0, 9 - digits.size(), '0');
  return FormatIsoDate(CivilFromDays(days)) + 'T' + Two(seconds / 3600) + ':' + Two(seconds / 60 % 60) + ':' +
         Two(seconds % 60) + '.' + digits + 'Z';
}

}  // namespace

std::string ModificationTime(const std::string& path) {
  std::error_code ec;
  const fs::file_time_type t = fs::last_write_time(fs::path(path), ec);
  if (ec) return "";
  const auto system = std::chrono::file_clock::to_sys(t);
  return IsoNanoseconds(std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch()).count());
}

FileStamp StampOf(const std::string& path) {
  std::error_code ec;
  FileStamp s;
  if (!fs::is_regular_file(fs::path(path), ec)) return s;
  s.size = fs::file_size(fs::path(path), ec);
  s.mtime = ModificationTime(path);
  s.exists = !ec && !s.mtime.empty();
  return s;
}

std::string RelativeTo(const std::string& path, const std::string& base) {
  return fs::path(path).lexically_relative(fs::path(base)).generic_string();
}

std::optional<Problem> WriteWatched(const std::string& path, std::string_view text,
                                    const std::shared_ptr<BoxWatch>& watch) {
  OutputOptions options;
  options.watch = watch;
  std::optional<Problem> p = WriteTextFile(path, text, options);
  if (p) p->kind = ProblemKind::kWriteFailed;  // the box made the name: no earlier file is kept
  return p;
}

}  // namespace zep::box
