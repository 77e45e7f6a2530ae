#include "box/box_watch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <optional>
#include <thread>

#include "disc/rescue_map.h"
#include "export/track.h"

namespace zep {
namespace {

// Enough points to draw a track at page size; more only make the page heavy.
constexpr std::size_t kShapePoints = 400;
constexpr double kGapSeconds = 60;
constexpr int kThumbWidth = 480, kThumbHeight = 240;
// Bytes are handed to the walk this far behind the writer, so that the word
// that some of them stand for unread data (which follows their write) comes
// first. A record writer marks at most a unit at a time.
constexpr std::size_t kLag = 64 * 1024;
// The bytes go over in pieces of this size, copied once on the writer's
// side (whose thread is the box's busiest), and made once and used again.
constexpr std::size_t kFeedPiece = 256 * 1024;
// The writer waits while the walk is this far behind: memory stays bounded.
constexpr std::size_t kMaxQueued = 8 * 1024 * 1024;

// The track's fixes into the record's length, ends and thinned shape.
class Shape {
 public:
  void Add(const TrackReader::Step& step, InventoryRecord& r) {
    const LatLon here{step.point.lat, step.point.lon};
    if (step.newSegment || segments_.empty()) segments_.emplace_back();
    else if (last_) r.trackKm += Kilometres(*last_, here);
    segments_.back().push_back(here);
    if (!r.firstFix) r.firstFix = here;
    r.lastFix = last_ = here;
  }
  void Finish(InventoryRecord& r) const {
    std::size_t points = 0;
    for (const auto& s : segments_) points += s.size();
    const std::size_t every = std::max<std::size_t>(1, (points + kShapePoints - 1) / kShapePoints);
    for (const auto& s : segments_) {
      std::vector<LatLon> thin;
      for (std::size_t i = 0; i < s.size(); ++i)
        if (i % every == 0 || i + 1 == s.size()) thin.push_back(s[i]);
      r.shape.push_back(std::move(thin));
    }
  }

 private:
  std::vector<std::vector<LatLon>> segments_;
  std::optional<LatLon> last_;
};

}  // namespace

// A record file's walk on a thread of its own, fed the bytes as they are
// written: the walk pulls, the writer pushes, and neither waits for the
// other longer than the queue is full or empty.
class PingFeed {
 public:
  explicit PingFeed(std::string trackName)
      : map_(std::make_shared<RescueMap>()), pings_(std::make_unique<RecordPings>()),
        trackName_(std::move(trackName)) {
    // Every byte is read until told otherwise: one rescued block to the end of time.
    map_->blocks.push_back({0, std::numeric_limits<std::int64_t>::max() / 2, '+'});
    thread_ = std::thread([this] {
      LeaveInterruptsToOtherThreads();
      Walk();
    });
  }
  ~PingFeed() { End(); }

  void Bytes(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      if (filling_.capacity() == 0) filling_ = TakePiece();
      const std::size_t n = std::min(bytes.size(), kFeedPiece - filling_.size());
      filling_.insert(filling_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
      bytes = bytes.subspan(n);
      // A full piece goes once kLag bytes have come after it.
      if (full_.size() == kFeedPiece && filling_.size() >= kLag) Push(full_);
      if (filling_.size() == kFeedPiece && full_.empty()) std::swap(full_, filling_);
    }
  }
  void Unread(std::uint64_t at, std::uint64_t count) {
    std::lock_guard lock(mutex_);
    marks_.push_back({at, count});
    ready_.notify_all();
  }
  // The walk's outcome, once every byte is in.
  std::unique_ptr<RecordPings> End() {
    if (thread_.joinable()) {
      Push(full_);
      Push(filling_);
      {
        std::lock_guard lock(mutex_);
        ended_ = true;
        ready_.notify_all();
      }
      thread_.join();
    }
    return std::move(pings_);
  }

 private:
  std::vector<std::uint8_t> TakePiece() {
    std::vector<std::uint8_t> piece;
    {
      std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        piece = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    piece.clear();
    piece.reserve(kFeedPiece);
    return piece;
  }
  // Hands piece over whole (emptied here); nothing once the walk has ended.
  void Push(std::vector<std::uint8_t>& piece) {
    if (piece.empty()) return;
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return queued_ < kMaxQueued || walked_; });
    if (!walked_) {
      queued_ += piece.size();
      queue_.push_back(std::move(piece));
      ready_.notify_all();
    }
    piece = {};
  }
  // On the walk's thread: marks first, then bytes; nothing at the end.
  ReadResult Pull(std::span<std::uint8_t> into) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !queue_.empty() || ended_; });
    for (const auto& [at, count] : marks_) Mark(at, count);
    marks_.clear();
    std::size_t n = 0;
    while (n < into.size() && !queue_.empty()) {
      std::vector<std::uint8_t>& front = queue_.front();
      const std::size_t take = std::min(into.size() - n, front.size() - taken_);
      std::copy_n(front.begin() + static_cast<std::ptrdiff_t>(taken_), take, into.begin() + static_cast<std::ptrdiff_t>(n));
      n += take;
      taken_ += take;
      if (taken_ == front.size()) {
        queued_ -= front.size();
        spare_.push_back(std::move(front));
        queue_.pop_front();
        taken_ = 0;
      }
    }
    room_.notify_all();
    return {n, {}};
  }
  void Mark(std::uint64_t at, std::uint64_t count) {
    RescueBlock& rest = map_->blocks.back();
    const auto from = static_cast<std::int64_t>(at), to = static_cast<std::int64_t>(at + count);
    const std::int64_t end = rest.pos + rest.size;
    if (from < rest.pos || to > end) return;  // not after what was marked before: no mark of a writer
    rest.size = from - rest.pos;
    if (rest.size == 0) map_->blocks.pop_back();
    map_->blocks.push_back({from, to - from, '-'});
    map_->blocks.push_back({to, end - to, '+'});
  }
  void Walk() {
    TrackSink track(TrackFormat::kGeoJson, pings_->geojson, kGapSeconds);
    track.StartFile(trackName_);
    pings_->thumbnail = std::make_unique<ThumbnailSink>(kThumbWidth, kThumbHeight, Palette::kGrey);
    Shape shape;
    PingReader reader([this](std::span<std::uint8_t> into) { return Pull(into); }, map_);
    while (reader.Next()) {
      if (const auto step = track.Ping(reader.ping())) shape.Add(*step, pings_->track);
      pings_->thumbnail->Ping(reader.ping(), reader.samples());
    }
    {
      // The walk may end before the file does (a ping the end cuts short):
      // the writer must not wait for it.
      std::lock_guard lock(mutex_);
      walked_ = true;
      queue_.clear();
      room_.notify_all();
    }
    track.EndFile();
    track.End();
    shape.Finish(pings_->track);
    pings_->walk = reader.walk();
    pings_->track.pings = static_cast<std::int64_t>(pings_->walk.pings);
  }

  std::shared_ptr<RescueMap> map_;  // touched on the walk's thread only
  std::unique_ptr<RecordPings> pings_;
  std::string trackName_;
  // The writer's, not yet handed over: a full piece waiting for kLag bytes
  // after it, and the piece being filled.
  std::vector<std::uint8_t> full_, filling_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::vector<std::vector<std::uint8_t>> spare_;  // pieces walked, to be filled again
  std::vector<std::pair<std::uint64_t, std::uint64_t>> marks_;
  std::size_t queued_ = 0, taken_ = 0;
  bool ended_ = false, walked_ = false;
  std::thread thread_;
};

BoxWatch::BoxWatch(RecordNamer recordName, std::shared_ptr<HashLane> lane)
    : recordName_(std::move(recordName)), lane_(std::move(lane)) {}
BoxWatch::~BoxWatch() = default;
BoxWatch::Open::Open(std::shared_ptr<HashLane> lane) : hash(std::move(lane)) {}
BoxWatch::Open::~Open() = default;

void BoxWatch::ExpectRecord(const std::string& path, const std::string& trackName) { expected_[path] = trackName; }

BoxWatch::Open& BoxWatch::At(const std::string& path) {
  std::unique_ptr<Open>& open = open_[path];
  if (!open) {
    open = std::make_unique<Open>(lane_);
    if (const auto it = expected_.find(path); it != expected_.end()) {
      open->feed = std::make_unique<PingFeed>(it->second);
    } else if (const std::optional<std::string> name = recordName_ ? recordName_(path) : std::nullopt) {
      open->feed = std::make_unique<PingFeed>(*name);
    }
  }
  return *open;
}

void BoxWatch::Wrote(const std::string& path, std::span<const std::uint8_t> bytes) {
  Open& open = At(path);
  open.hash.Update(bytes);
  open.size += bytes.size();
  if (open.feed) open.feed->Bytes(bytes);
}

void BoxWatch::Unread(const std::string& path, std::uint64_t at, std::uint64_t count) {
  if (Open& open = At(path); open.feed) open.feed->Unread(at, count);
}

// A kept file's digest is taken only when asked for: the hashing may still
// be behind the writing (on the lane), and the writer goes on meanwhile.
void BoxWatch::Closed(const std::string& path, bool kept) {
  At(path);  // a file closed with nothing written has its digest too
  std::unique_ptr<Open> open = std::move(open_.extract(path).mapped());
  std::unique_ptr<RecordPings> pings = open->feed ? open->feed->End() : nullptr;
  if (!kept) return;
  open->feed.reset();
  if (pings) pings_[path] = std::move(pings);
  closed_.emplace_back(path, std::move(open));
}

void BoxWatch::Settle() {
  for (auto& [path, open] : closed_) written_.push_back({path, open->hash.HexDigest(), open->size});
  closed_.clear();
}

std::vector<WrittenFile> BoxWatch::TakeWritten() {
  Settle();
  return std::exchange(written_, {});
}

void BoxWatch::Hashed(const std::string& path) {
  Settle();
  const FileDigest digest = Sha256OfFile(path);
  if (!digest.hex.empty()) written_.push_back({path, digest.hex, digest.bytes});
}

const WrittenFile* BoxWatch::Find(const std::string& path) {
  Settle();
  for (const WrittenFile& f : written_)
    if (f.path == path) return &f;
  return nullptr;
}

std::unique_ptr<RecordPings> BoxWatch::TakePings(const std::string& path) {
  const auto it = pings_.find(path);
  if (it == pings_.end()) return nullptr;
  std::unique_ptr<RecordPings> pings = std::move(it->second);
  pings_.erase(it);
  return pings;
}

}  // namespace zep
