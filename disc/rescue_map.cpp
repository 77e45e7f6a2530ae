#include "disc/rescue_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace zep {
namespace {

constexpr std::string_view kBlockStatuses = "?*/-+";

std::string Hex(std::int64_t n) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << n;
  return s.str();
}

// The fields of a line up to a '#' (ddrescuelog --annotate-mapfile puts
// comments behind the fields).
std::vector<std::string_view> Fields(std::string_view line) {
  line = line.substr(0, line.find('#'));
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// A non-negative number in decimal or 0x hexadecimal; an error text otherwise.
std::optional<std::int64_t> ParseNumber(std::string_view text, std::string& error) {
  int base = 10;
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  } else if (digits.size() > 1 && digits[0] == '0') {
    error = "\"" + std::string(text) + "\" starts with 0, which ddrescue reads as octal; write it in decimal or 0x hex";
    return std::nullopt;
  }
  if (digits.empty()) {
    error = "\"" + std::string(text) + "\" is not a number";
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) {
      error = "\"" + std::string(text) + "\" is not a number";
      return std::nullopt;
    }
    if (value > (std::numeric_limits<std::int64_t>::max() - d) / base) {
      error = "\"" + std::string(text) + "\" is too large";
      return std::nullopt;
    }
    value = value * base + d;
  }
  return value;
}

}  // namespace

std::int64_t RescueMap::End() const { return blocks.empty() ? 0 : blocks.back().pos + blocks.back().size; }

const RescueBlock* RescueMap::FirstUnrescued(std::int64_t pos, std::int64_t end) const {
  if (pos >= end) return nullptr;
  // The first block that ends after pos.
  auto it = std::upper_bound(blocks.begin(), blocks.end(), pos,
                             [](std::int64_t p, const RescueBlock& b) { return p < b.pos + b.size; });
  static const RescueBlock kUncovered{};  // a byte outside the map: never rescued
  if (it == blocks.end() || it->pos > pos) return &kUncovered;
  for (; it != blocks.end() && it->pos < end; ++it) {
    if (it->status != '+') return &*it;
  }
  return end > End() ? &kUncovered : nullptr;
}

std::int64_t RescueMap::RescuedEnd() const {
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
    if (it->status == '+') return it->pos + it->size;
  return 0;
}

std::vector<RescueBlock> RescueMap::Unrescued(std::int64_t pos, std::int64_t end) const {
  std::vector<RescueBlock> out;
  const auto add = [&out](std::int64_t from, std::int64_t to, char status) {
    if (from >= to) return;
    if (!out.empty() && out.back().pos + out.back().size == from) out.back().size += to - from;
    else out.push_back({from, to - from, status});
  };
  auto it = std::upper_bound(blocks.begin(), blocks.end(), pos,
                             [](std::int64_t p, const RescueBlock& b) { return p < b.pos + b.size; });
  for (; it != blocks.end() && it->pos < end; ++it) {
    if (it->status != '+') add(std::max(pos, it->pos), std::min(end, it->pos + it->size), it->status);
  }
  add(std::max(pos, End()), end, '?');
  return out;
}

std::int64_t RescueMap::UnrescuedBytes(std::int64_t pos, std::int64_t end) const {
  std::int64_t n = 0;
  for (const RescueBlock& b : Unrescued(pos, end)) n += b.size;
  return n;
}

std::string FormatRescueMap(const RescueMap& map, std::string_view creator) {
  std::ostringstream s;
  s << "# Mapfile. Created by " << creator << "\n# current_pos  current_status  current_pass\n"
    << Hex(map.End()) << "     +               1\n#      pos        size  status\n";
  for (const RescueBlock& b : map.blocks) s << Hex(b.pos) << "  " << Hex(b.size) << "  " << b.status << '\n';
  return s.str();
}

namespace {

// The current position line, "pos status [pass]": why it is not one, or
// nothing when it is.
std::string PositionLineFault(const std::vector<std::string_view>& fields, std::string_view line) {
  if (fields.size() < 2 || fields.size() > 3 || fields[1].size() != 1) {
    return "expected the current position line \"pos status [pass]\", found \"" + std::string(line) +
           "\": not a ddrescue mapfile";
  }
  std::string error;
  if (!ParseNumber(fields[0], error)) return error;
  if (fields.size() == 3 && !ParseNumber(fields[2], error)) return error;
  return {};
}

// Adds the block of a "pos size status" line to map, or says why the line is
// no such block (map unchanged).
std::string AddBlockLine(const std::vector<std::string_view>& fields, std::string_view line, RescueMap& map) {
  if (fields.size() != 3) return "expected \"pos size status\", found \"" + std::string(line) + "\"";
  std::string error;
  const std::optional<std::int64_t> pos = ParseNumber(fields[0], error);
  if (!pos) return error;
  const std::optional<std::int64_t> size = ParseNumber(fields[1], error);
  if (!size) return error;
  if (fields[2].size() != 1 || kBlockStatuses.find(fields[2][0]) == std::string_view::npos) {
    return "status \"" + std::string(fields[2]) + "\" is none of ? * / - +";
  }
  if (*size == 0) return "a block of size 0";
  if (*size > std::numeric_limits<std::int64_t>::max() - *pos) return "the block ends past 2^63";
  if (!map.blocks.empty() && *pos != map.End()) {
    return "the block at " + Hex(*pos) + " does not start where the one before ends (" + Hex(map.End()) + ")";
  }
  map.blocks.push_back({*pos, *size, fields[2][0]});
  return {};
}

}  // namespace

RescueMapLoad ParseRescueMap(std::string_view text, const std::string& path) {
  RescueMapLoad load;
  RescueMap map;
  map.path = path;
  bool sawPosition = false;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t eol = text.find('\n');
    const std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    std::string fault;
    if (line.find('\0') != std::string_view::npos) {
      fault = "a zero byte: not a ddrescue mapfile";
    } else if (const std::vector<std::string_view> fields = Fields(line); fields.empty()) {
      continue;
    } else if (!sawPosition) {
      fault = PositionLineFault(fields, line);
      sawPosition = true;
    } else {
      fault = AddBlockLine(fields, line, map);
    }
    if (!fault.empty()) {
      load.problem = Problem{path + ":" + std::to_string(lineNumber), fault};
      return load;
    }
  }
  if (map.blocks.empty()) {
    load.problem = Problem{path, "no \"pos size status\" lines: not a ddrescue mapfile"};
    return load;
  }
  load.map = std::move(map);
  return load;
}

RescueMapLoad LoadRescueMap(const std::string& path) {
  // A folder opens as a stream of nothing; that is no malformed mapfile.
  if (std::error_code ec; std::filesystem::is_directory(path, ec)) return {std::nullopt, Problem{path, "is a folder, not a mapfile"}};
  std::ifstream in(path, std::ios::binary);
  const auto unreadable = [&path](std::string why) {
    return RescueMapLoad{std::nullopt, Problem{path, std::move(why), 0, ProblemKind::kUnreadable}};
  };
  if (!in) return unreadable(std::string("cannot be opened: ") + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return unreadable("cannot be read");
  return ParseRescueMap(text.str(), path);
}

std::optional<Problem> RescueMapMismatch(const RescueMap& map, const Volume& image) {
  const std::int64_t size = image.Size();
  const std::int64_t rescuedEnd = map.RescuedEnd();
  if (size == Volume::kUnknownSize || rescuedEnd <= size) return {};
  return Problem{map.path, "rescued bytes up to " + Hex(rescuedEnd) + " but " + image.Name() + " holds only " +
                               std::to_string(size) + " bytes: the mapfile does not describe this image"};
}

namespace {

// Every byte of [pos, end) that is not rescued is marked '?': ddrescue never
// tried them, so nothing says they are bad.
// Bytes the map does not cover are not counted as never tried.
bool NeverTried(const RescueMap& map, std::int64_t pos, std::int64_t end) {
  if (map.blocks.empty() || pos < map.blocks.front().pos || end > map.End()) return false;
  auto it = std::upper_bound(map.blocks.begin(), map.blocks.end(), pos,
                             [](std::int64_t p, const RescueBlock& b) { return p < b.pos + b.size; });
  for (; it != map.blocks.end() && it->pos < end; ++it) {
    if (it->status != '+' && it->status != '?') return false;
  }
  return true;
}

class MappedVolume final : public Volume {
 public:
  MappedVolume(std::unique_ptr<Volume> image, std::shared_ptr<const RescueMap> map)
      : image_(std::move(image)), map_(std::move(map)) {}

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override {
    const std::int64_t end = std::min(pos + static_cast<std::int64_t>(buf.size()), Size());
    if (pos >= 0) {
      if (const RescueBlock* bad = map_->FirstUnrescued(pos, end)) {
        ReadResult r;
        const std::int64_t uncovered = pos < map_->blocks.front().pos ? pos : std::max(pos, map_->End());
        const bool neverTried = bad->size > 0 && NeverTried(*map_, pos, end);
        const std::string what = bad->size == 0 ? map_->path + " does not cover byte " + std::to_string(uncovered)
                                                : map_->path + " marks bytes " + std::to_string(bad->pos) + " to " +
                                                      std::to_string(bad->pos + bad->size - 1) + " '" + bad->status +
                                                      (bad->status == '?' ? "' (never tried)" : "' (not rescued)");
        r.problem = Problem{"", what, 0, neverTried ? ProblemKind::kNotTried : ProblemKind::kUnreadable};
        return r;
      }
    }
    return image_->ReadAt(pos, buf);
  }

  bool IsRemovableMedia() override { return image_->IsRemovableMedia(); }
  const std::string& Name() const override { return image_->Name(); }
  // The map covers the whole disc, and ddrescue's image ends early when the
  // disc's last bytes were not rescued.
  std::int64_t Size() const override { return std::max(image_->Size(), map_->End()); }

 private:
  std::unique_ptr<Volume> image_;
  std::shared_ptr<const RescueMap> map_;
};

}  // namespace

std::unique_ptr<Volume> VolumeUnderMap(std::unique_ptr<Volume> image, std::shared_ptr<const RescueMap> map) {
  return std::make_unique<MappedVolume>(std::move(image), std::move(map));
}

VolumeOpener OpenUnderMap(VolumeOpener open, std::shared_ptr<const RescueMap> map) {
  return [open = std::move(open), map = std::move(map)]() -> VolumeOpenResult {
    VolumeOpenResult opened = open();
    if (!opened.volume) return opened;
    if (auto mismatch = RescueMapMismatch(*map, *opened.volume)) return {nullptr, std::move(mismatch)};
    return {VolumeUnderMap(std::move(opened.volume), map), {}};
  };
}

std::string FindMapfileBeside(const std::string& imagePath) {
  namespace fs = std::filesystem;
  const fs::path image(imagePath);
  std::vector<fs::path> candidates = {fs::path(imagePath + ".map"), fs::path(imagePath + ".mapfile")};
  if (image.has_extension()) {
    fs::path stem = image;
    candidates.push_back(fs::path(stem.replace_extension(".map")));
    candidates.push_back(fs::path(stem.replace_extension(".mapfile")));
  }
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return "";
}

}  // namespace zep
