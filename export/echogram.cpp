// zepconv echogram: a record file's pings as pictures, one column per ping,
// sample 0 at the top.

#include <algorithm>
#include <filesystem>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "export/echogram.h"

#include "export/exports.h"
#include "export/png_writer.h"
#include "export/text_output.h"

namespace zep {
namespace {

// A picture whose PNG stream zlib could not finish.
Problem Unpacked(const std::string& path) {
  return {path, "the picture could not be compressed", 0, ProblemKind::kWriteFailed};
}

// Missing pings are drawn as transparent columns, but no more than this many
// per gap: a corrupt ping index must not blow the picture up.
constexpr std::uint32_t kMaxGapColumns = 32;

// matplotlib's viridis, its 256 published entries rounded to 8 bits.
constexpr std::array<std::array<std::uint8_t, 3>, 256> kViridis = {{
    {68, 1, 84}, {68, 2, 86}, {69, 4, 87}, {69, 5, 89}, {70, 7, 90}, {70, 8, 92}, {70, 10, 93}, {70, 11, 94},
    {71, 13, 96}, {71, 14, 97}, {71, 16, 99}, {71, 17, 100}, {71, 19, 101}, {72, 20, 103}, {72, 22, 104},
    {72, 23, 105}, {72, 24, 106}, {72, 26, 108}, {72, 27, 109}, {72, 28, 110}, {72, 29, 111}, {72, 31, 112},
    {72, 32, 113}, {72, 33, 115}, {72, 35, 116}, {72, 36, 117}, {72, 37, 118}, {72, 38, 119}, {72, 40, 120},
    {72, 41, 121}, {71, 42, 122}, {71, 44, 122}, {71, 45, 123}, {71, 46, 124}, {71, 47, 125}, {70, 48, 126},
    {70, 50, 126}, {70, 51, 127}, {70, 52, 128}, {69, 53, 129}, {69, 55, 129}, {69, 56, 130}, {68, 57, 131},
    {68, 58, 131}, {68, 59, 132}, {67, 61, 132}, {67, 62, 133}, {66, 63, 133}, {66, 64, 134}, {66, 65, 134},
    {65, 66, 135}, {65, 68, 135}, {64, 69, 136}, {64, 70, 136}, {63, 71, 136}, {63, 72, 137}, {62, 73, 137},
    {62, 74, 137}, {62, 76, 138}, {61, 77, 138}, {61, 78, 138}, {60, 79, 138}, {60, 80, 139}, {59, 81, 139},
    {59, 82, 139}, {58, 83, 139}, {58, 84, 140}, {57, 85, 140}, {57, 86, 140}, {56, 88, 140}, {56, 89, 140},
    {55, 90, 140}, {55, 91, 141}, {54, 92, 141}, {54, 93, 141}, {53, 94, 141}, {53, 95, 141}, {52, 96, 141},
    {52, 97, 141}, {51, 98, 141}, {51, 99, 141}, {50, 100, 142}, {50, 101, 142}, {49, 102, 142}, {49, 103, 142},
    {49, 104, 142}, {48, 105, 142}, {48, 106, 142}, {47, 107, 142}, {47, 108, 142}, {46, 109, 142}, {46, 110, 142},
    {46, 111, 142}, {45, 112, 142}, {45, 113, 142}, {44, 113, 142}, {44, 114, 142}, {44, 115, 142}, {43, 116, 142},
    {43, 117, 142}, {42, 118, 142}, {42, 119, 142}, {42, 120, 142}, {41, 121, 142}, {41, 122, 142}, {41, 123, 142},
    {40, 124, 142}, {40, 125, 142}, {39, 126, 142}, {39, 127, 142}, {39, 128, 142}, {38, 129, 142}, {38, 130, 142},
    {38, 130, 142}, {37, 131, 142}, {37, 132, 142}, {37, 133, 142}, {36, 134, 142}, {36, 135, 142}, {35, 136, 142},
    {35, 137, 142}, {35, 138, 141}, {34, 139, 141}, {34, 140, 141}, {34, 141, 141}, {33, 142, 141}, {33, 143, 141},
    {33, 144, 141}, {33, 145, 140}, {32, 146, 140}, {32, 146, 140}, {32, 147, 140}, {31, 148, 140}, {31, 149, 139},
    {31, 150, 139}, {31, 151, 139}, {31, 152, 139}, {31, 153, 138}, {31, 154, 138}, {30, 155, 138}, {30, 156, 137},
    {30, 157, 137}, {31, 158, 137}, {31, 159, 136}, {31, 160, 136}, {31, 161, 136}, {31, 161, 135}, {31, 162, 135},
    {32, 163, 134}, {32, 164, 134}, {33, 165, 133}, {33, 166, 133}, {34, 167, 133}, {34, 168, 132}, {35, 169, 131},
    {36, 170, 131}, {37, 171, 130}, {37, 172, 130}, {38, 173, 129}, {39, 173, 129}, {40, 174, 128}, {41, 175, 127},
    {42, 176, 127}, {44, 177, 126}, {45, 178, 125}, {46, 179, 124}, {47, 180, 124}, {49, 181, 123}, {50, 182, 122},
    {52, 182, 121}, {53, 183, 121}, {55, 184, 120}, {56, 185, 119}, {58, 186, 118}, {59, 187, 117}, {61, 188, 116},
    {63, 188, 115}, {64, 189, 114}, {66, 190, 113}, {68, 191, 112}, {70, 192, 111}, {72, 193, 110}, {74, 193, 109},
    {76, 194, 108}, {78, 195, 107}, {80, 196, 106}, {82, 197, 105}, {84, 197, 104}, {86, 198, 103}, {88, 199, 101},
    {90, 200, 100}, {92, 200, 99}, {94, 201, 98}, {96, 202, 96}, {99, 203, 95}, {101, 203, 94}, {103, 204, 92},
    {105, 205, 91}, {108, 205, 90}, {110, 206, 88}, {112, 207, 87}, {115, 208, 86}, {117, 208, 84}, {119, 209, 83},
    {122, 209, 81}, {124, 210, 80}, {127, 211, 78}, {129, 211, 77}, {132, 212, 75}, {134, 213, 73}, {137, 213, 72},
    {139, 214, 70}, {142, 214, 69}, {144, 215, 67}, {147, 215, 65}, {149, 216, 64}, {152, 216, 62}, {155, 217, 60},
    {157, 217, 59}, {160, 218, 57}, {162, 218, 55}, {165, 219, 54}, {168, 219, 52}, {170, 220, 50}, {173, 220, 48},
    {176, 221, 47}, {178, 221, 45}, {181, 222, 43}, {184, 222, 41}, {186, 222, 40}, {189, 223, 38}, {192, 223, 37},
    {194, 223, 35}, {197, 224, 33}, {200, 224, 32}, {202, 225, 31}, {205, 225, 29}, {208, 225, 28}, {210, 226, 27},
    {213, 226, 26}, {216, 226, 25}, {218, 227, 25}, {221, 227, 24}, {223, 227, 24}, {226, 228, 24}, {229, 228, 25},
    {231, 228, 25}, {234, 229, 26}, {236, 229, 27}, {239, 229, 28}, {241, 229, 29}, {244, 230, 30}, {246, 230, 32},
    {248, 230, 33}, {251, 231, 35}, {253, 231, 37},
}};

// One sample as a pixel: grey with alpha, or the viridis colour with alpha;
// a pixel left at zero is transparent (a missing ping).
inline void PutPixel(std::uint8_t* px, std::uint8_t v, std::size_t channels) {
  if (channels == 2) {
    px[0] = v;
    px[1] = 255;
  } else {
    px[0] = kViridis[v][0];
    px[1] = kViridis[v][1];
    px[2] = kViridis[v][2];
    px[3] = 255;
  }
}

// One picture's pings, each column's samples one after the other as they
// come; the rows are made from them only while the picture is written.
class Tile {
 public:
  Tile(int maxColumns, Palette palette) : maxColumns_(maxColumns), palette_(palette) {}

  bool full() const { return static_cast<int>(columns_.size()) == maxColumns_; }
  bool empty() const { return columns_.empty(); }
  const std::vector<std::optional<std::uint32_t>>& columns() const { return columns_; }

  // Samples in unread are drawn transparent, as a missing ping is.
  void AddPing(std::uint32_t ping, std::span<const std::uint8_t> samples, const std::vector<SampleRange>& unread) {
    starts_.push_back(samples_.size());
    samples_.insert(samples_.end(), samples.begin(), samples.end());
    height_ = std::max(height_, samples.size());
    columns_.push_back(ping);
    unread_.push_back(unread);
  }
  void AddGap() {
    starts_.push_back(samples_.size());
    columns_.push_back(std::nullopt);
    unread_.emplace_back();
  }

  // Writes the PNG into the file; a picture with no ping in it is one
  // transparent row high. False if the PNG could not be made.
  bool WritePng(OutputFile& file) {
    const std::size_t width = columns_.size(), height = std::max<std::size_t>(height_, 1);
    const std::size_t channels = palette_ == Palette::kGrey ? 2 : 4;
    starts_.push_back(samples_.size());
    // Rows a band at a time: each column gives the band's samples from one
    // or two cache lines, where a row at a time would touch a page per pixel.
    // Band rows lie a cache line more than a row apart: at a multiple of 4 KiB
    // apart, every column's stores would fall into one set of the L1 cache.
    constexpr std::size_t kBand = 32;
    const std::size_t stride = width * channels + 64;
    std::vector<std::uint8_t> band(kBand * stride);
    const auto makeBand = [&](std::size_t top, std::size_t rows) {
      std::fill(band.begin(), band.end(), std::uint8_t{0});  // transparent below each ping
      if (channels == 2) Band<2>(band.data(), stride, top, rows, width);
      else Band<4>(band.data(), stride, top, rows, width);
    };
    // zlib's way of packing, chosen from the top band and the bands at a
    // third and two thirds of the height.
    std::vector<std::uint8_t> sample;
    for (std::size_t part = 0; part < 3; ++part) {
      const std::size_t top = height * part / 3 / kBand * kBand;
      makeBand(top, std::min(kBand, height - top));
      sample.insert(sample.end(), band.begin(), band.begin() + static_cast<std::ptrdiff_t>(std::min(kBand, height - top) * stride));
    }
    std::vector<const std::uint8_t*> sampleRows;
    for (std::size_t at = 0; at < sample.size(); at += stride) sampleRows.push_back(sample.data() + at);
    const auto w32 = static_cast<std::uint32_t>(width);
    PngWriter png(file, w32, static_cast<std::uint32_t>(height), static_cast<int>(channels),
                  PngWriter::RunsPackAsWell(sampleRows, w32, static_cast<int>(channels)));
    for (std::size_t top = 0; top < height; top += kBand) {
      const std::size_t rows = std::min(kBand, height - top);
      makeBand(top, rows);
      for (std::size_t r = 0; r < rows; ++r) png.Row(band.data() + r * stride);
    }
    return png.Finish();
  }

  void Clear() {
    columns_.clear();
    unread_.clear();
    samples_.clear();
    starts_.clear();
    height_ = 0;
  }

 private:
  // The pixels of rows top to top + rows of every column.
  template <std::size_t kChannels>
  void Band(std::uint8_t* band, std::size_t stride, std::size_t top, std::size_t rows, std::size_t width) const {
    for (std::size_t c = 0; c < width; ++c) {
      const std::size_t length = starts_[c + 1] - starts_[c];
      const std::size_t have = length > top ? std::min(rows, length - top) : 0;
      const std::uint8_t* from = samples_.data() + starts_[c] + top;
      std::uint8_t* px = band + c * kChannels;
      for (std::size_t r = 0; r < have; ++r, px += stride) {
        PutPixel(px, from[r], kChannels);
      }
      for (const SampleRange& u : unread_[c]) {
        for (std::size_t y = std::max<std::size_t>(u.begin, top); y < std::min<std::size_t>(u.end, top + have); ++y) {
          std::fill_n(band + (y - top) * stride + c * kChannels, kChannels, std::uint8_t{0});
        }
      }
    }
  }

  int maxColumns_;
  Palette palette_;
  std::size_t height_ = 0;
  std::vector<std::uint8_t> samples_;
  std::vector<std::size_t> starts_;  // where each column's samples begin
  std::vector<std::optional<std::uint32_t>> columns_;
  std::vector<std::vector<SampleRange>> unread_;  // each column's unread samples
};

}  // namespace

// A thumbnail of at most width x height pixels, each the strongest sample of
// its block of pings and samples, so seabed echoes stay visible; a block that
// holds a missing ping is transparent, so holes do too. The record's length
// is not known ahead, so blocks start one ping and one sample large and
// double, merging neighbours, whenever the picture would grow too large.
class ThumbnailSink::Picture {
 public:
  Picture(int width, int height, Palette palette)
      : width_(static_cast<std::size_t>(width)), height_(static_cast<std::size_t>(height)), palette_(palette),
        value_(width_ * height_, 0), present_(width_ * height_, 0), missing_(width_, 0) {}

  // Samples in unread take no part: only what was read can be the strongest.
  void AddPing(std::span<const std::uint8_t> samples, const std::vector<SampleRange>& unread) {
    while (samples.size() > height_ * rowBlock_) DoubleRows();
    // The column's strongest sample at each depth, at full resolution: one
    // pass a compiler makes wide; the rows are reduced once per column.
    if (samples.size() > blockMax_.size()) blockMax_.resize(samples.size(), 0);
    std::size_t from = 0;
    const auto take = [&](std::size_t to) {
      std::transform(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.begin() + static_cast<std::ptrdiff_t>(to),
                     blockMax_.begin() + static_cast<std::ptrdiff_t>(from), blockMax_.begin() + static_cast<std::ptrdiff_t>(from),
                     [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
    };
    for (const SampleRange& u : unread) {
      take(u.begin);
      from = u.end;
    }
    take(samples.size());
    longest_ = std::max(longest_, samples.size());
    EndPing();
  }
  void AddGap() {
    currentMissing_ = true;
    EndPing();
  }
  bool empty() const { return columns_ == 0 && inCurrent_ == 0; }

  bool WritePng(OutputFile& file, std::pair<int, int>& written) {
    if (inCurrent_ > 0) PushColumn(true);
    const std::size_t w = std::max<std::size_t>(columns_, 1), h = std::max<std::size_t>(rowsUsed_, 1);
    written = {static_cast<int>(w), static_cast<int>(h)};
    const std::size_t channels = palette_ == Palette::kGrey ? 2 : 4;
    PngWriter png(file, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), static_cast<int>(channels));
    std::vector<std::uint8_t> row(w * channels);
    for (std::size_t r = 0; r < h; ++r) {
      std::fill(row.begin(), row.end(), std::uint8_t{0});
      for (std::size_t c = 0; c < columns_ && r < rowsUsed_; ++c) {
        if (missing_[c] || !present_[c * height_ + r]) continue;
        PutPixel(row.data() + c * channels, value_[c * height_ + r], channels);
      }
      png.Row(row.data());
    }
    return png.Finish();
  }

 private:
  void EndPing() {
    if (++inCurrent_ == columnBlock_) PushColumn();
  }
  // last: the record's last, partial column, pushed whatever its pings.
  void PushColumn(bool last = false) {
    if (columns_ == width_) {
      // Merge neighbouring columns: half as many, each of twice the pings.
      for (std::size_t c = 0; c < width_ / 2; ++c) MergeColumns(c, 2 * c, 2 * c + 1);
      if (width_ % 2) MergeColumns(width_ / 2, width_ - 1, width_ - 1);
      columns_ = (width_ + 1) / 2;
      columnBlock_ *= 2;
      if (inCurrent_ < columnBlock_ && !last) return;  // the column goes on with twice the pings
    }
    const std::size_t rows = (longest_ + rowBlock_ - 1) / rowBlock_;
    for (std::size_t r = 0; r < rows; ++r) {
      const auto from = blockMax_.begin() + static_cast<std::ptrdiff_t>(r * rowBlock_);
      const auto to = blockMax_.begin() + static_cast<std::ptrdiff_t>(std::min(longest_, (r + 1) * rowBlock_));
      value_[columns_ * height_ + r] = *std::max_element(from, to);
      present_[columns_ * height_ + r] = 1;
    }
    rowsUsed_ = std::max(rowsUsed_, rows);
    missing_[columns_] = currentMissing_;
    ++columns_;
    std::fill(blockMax_.begin(), blockMax_.end(), 0);
    longest_ = 0;
    currentMissing_ = false;
    inCurrent_ = 0;
  }
  void MergeColumns(std::size_t to, std::size_t a, std::size_t b) {
    for (std::size_t r = 0; r < height_; ++r) {
      value_[to * height_ + r] = std::max(value_[a * height_ + r], value_[b * height_ + r]);
      present_[to * height_ + r] = present_[a * height_ + r] | present_[b * height_ + r];
    }
    missing_[to] = missing_[a] | missing_[b];
  }
  void DoubleRows() {
    const auto merge = [&](std::uint8_t* v, std::uint8_t* p) {
      for (std::size_t r = 0; r < height_; ++r) {
        const std::size_t a = 2 * r, b = 2 * r + 1;
        v[r] = a < height_ ? std::max(v[a], b < height_ ? v[b] : std::uint8_t{0}) : 0;
        p[r] = a < height_ ? static_cast<std::uint8_t>(p[a] | (b < height_ ? p[b] : 0)) : 0;
      }
    };
    for (std::size_t c = 0; c < columns_; ++c) merge(value_.data() + c * height_, present_.data() + c * height_);
    rowBlock_ *= 2;
    rowsUsed_ = (rowsUsed_ + 1) / 2;
  }

  std::size_t width_, height_;
  Palette palette_;
  std::vector<std::uint8_t> value_, present_, missing_;  // column-major, height_ rows per column
  std::vector<std::uint8_t> blockMax_;  // the column being gathered, sample by sample
  std::size_t longest_ = 0;             // its longest ping
  bool currentMissing_ = false;
  std::size_t columns_ = 0, inCurrent_ = 0, columnBlock_ = 1, rowBlock_ = 1, rowsUsed_ = 0;
};

ThumbnailSink::ThumbnailSink(int width, int height, Palette palette)
    : picture_(std::make_unique<Picture>(width, height, palette)) {}

ThumbnailSink::~ThumbnailSink() = default;

void ThumbnailSink::Ping(const PingInfo& p, std::span<const std::uint8_t> samples) {
  if (last_ && p.pingIndex > std::uint64_t{*last_} + 1) {
    for (std::uint32_t i = 0; i < std::min(p.pingIndex - *last_ - 1, kMaxGapColumns); ++i) picture_->AddGap();
  }
  last_ = p.pingIndex;
  picture_->AddPing(samples, p.unread);
}

bool ThumbnailSink::empty() const { return picture_->empty(); }

bool ThumbnailSink::WritePng(OutputFile& file) { return picture_->WritePng(file, size_); }

namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// OUT.png gives OUT_0000.png, ... and OUT.csv.
std::string Stem(const std::string& out) {
  if (out.size() > 4) {
    std::string ext = out.substr(out.size() - 4);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ext == ".png") return out.substr(0, out.size() - 4);
  }
  return out;
}

class Echogram {
 public:
  Echogram(Sink& con, const std::string& out, int pingsPerImage, Palette palette)
      : con_(con), out_(out), stem_(Stem(out)), tile_(pingsPerImage, palette), csv_(con, stem_ + ".csv") {
    csv_.text() += "image,column,ping\n";
  }
  bool csvOpen() const { return csv_.open(); }
  Problem csvProblem() const { return csv_.problem(); }

  void Ping(const PingInfo& p, std::span<const std::uint8_t> samples) {
    if (last_ && p.pingIndex > std::uint64_t{*last_} + 1) {
      const std::uint32_t gap = std::min(p.pingIndex - *last_ - 1, kMaxGapColumns);
      for (std::uint32_t i = 0; i < gap; ++i) Column().AddGap();
    }
    last_ = p.pingIndex;
    Column().AddPing(p.pingIndex, samples, p.unread);
  }

  // Writes what is left; the number of pictures written.
  int Finish() {
    if (!tile_.empty()) Write(images_ == 0 ? out_ : Numbered());
    if (images_ == 0) csv_.Discard();
    else if (!csv_.Close()) ok_ = false;
    return images_;
  }
  bool ok() const { return ok_; }

 private:
  // The tile to draw the next column into, after writing the full one.
  Tile& Column() {
    if (tile_.full()) Write(Numbered());
    return tile_;
  }
  std::string Numbered() const {
    char number[16];
    std::snprintf(number, sizeof number, "_%04d.png", images_);
    return stem_ + number;
  }
  void Write(const std::string& path) {
    const std::string name = BaseName(path);
    std::string& rows = csv_.text();
    for (std::size_t c = 0; c < tile_.columns().size(); ++c) {
      AppendCsvField(rows, name);
      rows += ',';
      AppendInt(rows, static_cast<std::int64_t>(c));
      rows += ',';
      if (tile_.columns()[c]) AppendInt(rows, *tile_.columns()[c]);
      rows += '\n';
    }
    csv_.Flush();
    ++images_;
    OutputFile file = OutputFile::Create(path);
    const bool made = file.open() && tile_.WritePng(file);
    tile_.Clear();
    if (!made || !file.Close()) {
      con_.Report(file.failed() || !file.open() ? file.problem() : Unpacked(path));
      file.Discard();
      ok_ = false;
    }
  }

  Sink& con_;
  std::string out_, stem_;
  Tile tile_;
  TextOutput csv_;
  std::optional<std::uint32_t> last_;
  int images_ = 0;
  bool ok_ = true;
};

}  // namespace

namespace {

Outcome WriteThumbnail(Sink& con, const std::string& file, const std::string& outPath, Fit fit, Palette palette) {
  if (WouldOverwriteInput(con, outPath, {file})) return Outcome::kRefused;
  ThumbnailSink thumb(fit.width, fit.height, palette);
  WalkCounts counts;
  WalkAndReport(con, file, {}, counts,
                [&](const PingInfo& p, std::span<const std::uint8_t> samples) { thumb.Ping(p, samples); });
  if (thumb.empty()) {
    con.Report({file, "no pings to draw", 0, ProblemKind::kOther});
    return counts.Status() == Outcome::kRefused ? Outcome::kRefused : Outcome::kPartly;
  }
  OutputFile out = OutputFile::Create(outPath);
  const bool made = out.open() && thumb.WritePng(out);
  if (!made || !out.Close()) {
    con.Report(out.failed() || !out.open() ? out.problem() : Unpacked(outPath));
    out.Discard();
    return Outcome::kPartly;
  }
  return counts.Status();
}

}  // namespace

Outcome WriteEchogram(Sink& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                      Palette palette, std::optional<Fit> fit) {
  if (fit) return WriteThumbnail(con, file, outPath, *fit, palette);
  if (WouldOverwriteInput(con, outPath, {file}) || WouldOverwriteInput(con, Stem(outPath) + ".csv", {file})) {
    return Outcome::kRefused;
  }
  // Outputs that could not be what was asked for are refused before anything
  // is written: a folder, or a name that promises another format.
  if (std::error_code ec; std::filesystem::is_directory(outPath, ec)) {
    con.Report({outPath, "is a folder", 0, ProblemKind::kUsage});
    return Outcome::kRefused;
  }
  if (const std::string ext = std::filesystem::path(outPath).extension().string();
      !ext.empty() && Stem(outPath) == outPath) {
    con.Report({outPath, "echograms are written as PNG, not " + ext + "; name the file with .png", 0, ProblemKind::kUsage});
    return Outcome::kRefused;
  }
  if (InputFile in = InputFile::Open(file); !in.open()) {
    con.Report(in.problem());
    return Outcome::kRefused;
  }
  Echogram echogram(con, outPath, pingsPerImage, palette);
  if (!echogram.csvOpen()) {
    con.Report(echogram.csvProblem());
    return Outcome::kRefused;
  }
  WalkCounts counts;
  WalkAndReport(con, file, {}, counts,
                [&](const PingInfo& p, std::span<const std::uint8_t> samples) { echogram.Ping(p, samples); });
  const int images = echogram.Finish();
  if (images == 0) {
    con.Report({file, "no pings to draw", 0, ProblemKind::kOther});
    return counts.Status() == Outcome::kRefused ? Outcome::kRefused : Outcome::kPartly;
  }
  return echogram.ok() ? counts.Status() : Outcome::kPartly;
}

}  // namespace zep
