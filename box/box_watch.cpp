#include "box/box_watch.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
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
// The bytes written and not yet walked: the writer waits while the walk is
// this far behind, so memory stays bounded. More than kLag, so that the walk
// always has bytes to take while the writer waits; small, so that they are
// still in the cache when the walk takes them (4 MiB took 3 MiB more memory
// and no less time of the processor).
constexpr std::size_t kRing = 512 * 1024;
static_assert(kRing > 2 * kLag);

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
// written: the writer copies them once into a ring made once, and the walk
// takes them from there (and hashes them there, where it is given the
// file's hash: a thread beside the writer, reading bytes it reads anyway).
// Neither waits for the other longer than the ring is full or empty.
class PingFeed {
 public:
  PingFeed(std::string trackName, std::unique_ptr<std::uint8_t[]> ring, Sha256* hash)
      : map_(std::make_shared<RescueMap>()), pings_(std::make_unique<RecordPings>()),
        trackName_(std::move(trackName)), ring_(std::move(ring)), hash_(hash) {
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
      std::size_t room = 0;
      {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return written_ - read_ < kRing || dropped_; });
        if (dropped_) return;
        room = static_cast<std::size_t>(kRing - (written_ - read_));
      }
      // Only this thread moves written_, and the walk reads nothing at or
      // past it: the copy needs no lock.
      const std::size_t n = std::min(room, bytes.size());
      Copy(written_, bytes.first(n));
      bytes = bytes.subspan(n);
      std::lock_guard lock(mutex_);
      written_ += n;
      visible_ = std::max(visible_, written_ > kLag ? written_ - kLag : 0);
      ready_.notify_all();
    }
  }
  void Unread(std::uint64_t at, std::uint64_t count) {
    std::lock_guard lock(mutex_);
    marks_.push_back({at, count});
    ready_.notify_all();
  }
  // The walk's outcome, once every byte is in (and hashed, where the walk hashes).
  std::unique_ptr<RecordPings> End() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        ended_ = true;
        visible_ = written_;
        ready_.notify_all();
      }
      thread_.join();
    }
    return std::move(pings_);
  }
  // The ring, for the next feed; once End has been called.
  std::unique_ptr<std::uint8_t[]> TakeRing() { return std::move(ring_); }

 private:
  // The ring's bytes from `at` on, as many as fill `into` (or `from` into them).
  void Copy(std::uint64_t at, std::span<const std::uint8_t> from) {
    const std::size_t i = static_cast<std::size_t>(at % kRing), first = std::min(from.size(), kRing - i);
    std::memcpy(ring_.get() + i, from.data(), first);
    std::memcpy(ring_.get(), from.data() + first, from.size() - first);
  }
  // Calls use(bytes) on the ring's bytes [from, to), in order.
  template <typename Use>
  void Each(std::uint64_t from, std::uint64_t to, Use use) const {
    const std::size_t i = static_cast<std::size_t>(from % kRing);
    const std::size_t n = static_cast<std::size_t>(to - from), first = std::min(n, kRing - i);
    use(std::span<const std::uint8_t>(ring_.get() + i, first));
    if (n > first) use(std::span<const std::uint8_t>(ring_.get(), n - first));
  }
  // On the walk's thread: the next bytes the walk may have, up to max,
  // marks applied first; [from, from) at the end.
  std::pair<std::uint64_t, std::uint64_t> Take(std::size_t max) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return visible_ > read_ || ended_; });
    for (const auto& [at, count] : marks_) Mark(at, count);
    marks_.clear();
    return {read_, std::min(visible_, read_ + max)};
  }
  // The bytes taken are done with: hashed, and their room given back.
  void Done(std::uint64_t from, std::uint64_t to) {
    if (hash_) Each(from, to, [&](std::span<const std::uint8_t> b) { hash_->Update(b); });
    std::lock_guard lock(mutex_);
    read_ = to;
    room_.notify_all();
  }
  ReadResult Pull(std::span<std::uint8_t> into) {
    const auto [from, to] = Take(into.size());
    std::size_t n = 0;
    Each(from, to, [&](std::span<const std::uint8_t> b) { std::memcpy(into.data() + n, b.data(), b.size()), n += b.size(); });
    Done(from, to);
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
  // The walk may end before the file does (a ping the end cuts short): the
  // rest is hashed, or where the walk does not hash, dropped, and the
  // writer must not wait for it.
  void Rest() {
    if (!hash_) {
      std::lock_guard lock(mutex_);
      dropped_ = true;
      read_ = written_;
      room_.notify_all();
      return;
    }
    for (;;) {
      const auto [from, to] = Take(kRing);
      if (from == to) return;
      Done(from, to);
    }
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
    Rest();
    track.EndFile();
    track.End();
    shape.Finish(pings_->track);
    pings_->walk = reader.walk();
    pings_->track.pings = static_cast<std::int64_t>(pings_->walk.pings);
  }

  std::shared_ptr<RescueMap> map_;  // touched on the walk's thread only
  std::unique_ptr<RecordPings> pings_;
  std::string trackName_;
  std::unique_ptr<std::uint8_t[]> ring_;  // kRing bytes; byte k of the file at k % kRing
  Sha256* hash_;                          // the file's, where the walk hashes it
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> marks_;
  // Bytes of the file put in the ring, the walk may take, and taken.
  std::uint64_t written_ = 0, visible_ = 0, read_ = 0;
  bool ended_ = false, dropped_ = false;
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
  if (open) return *open;
  std::optional<std::string> track;
  if (const auto it = expected_.find(path); it != expected_.end()) track = it->second;
  else if (recordName_) track = recordName_(path);
  // A record file is hashed on its walk's thread where the box hashes beside
  // the writer, from the bytes the walk is given: the lane would need a
  // copy of its own.
  open = std::make_unique<Open>(track ? nullptr : lane_);
  if (!track) return *open;
  std::unique_ptr<std::uint8_t[]> ring;
  if (rings_.empty()) ring = std::make_unique_for_overwrite<std::uint8_t[]>(kRing);
  else ring = std::move(rings_.back()), rings_.pop_back();
  open->feed = std::make_unique<PingFeed>(*track, std::move(ring), lane_ ? &open->hash : nullptr);
  open->fed = lane_ != nullptr;
  return *open;
}

void BoxWatch::Wrote(const std::string& path, std::span<const std::uint8_t> bytes) {
  Open& open = At(path);
  if (!open.fed) open.hash.Update(bytes);
  open.size += bytes.size();
  if (open.feed) open.feed->Bytes(bytes);
}

void BoxWatch::Unread(const std::string& path, std::uint64_t at, std::uint64_t count) {
  if (Open& open = At(path); open.feed) open.feed->Unread(at, count);
}

void BoxWatch::Closed(const std::string& path, bool kept) {
  Open& open = At(path);
  std::unique_ptr<RecordPings> pings;
  if (open.feed) {
    pings = open.feed->End();
    rings_.push_back(open.feed->TakeRing());  // made once, used by every record file of the disc
  }
  if (kept) {
    written_.push_back({path, open.hash.HexDigest(), open.size});
    if (pings) pings_[path] = std::move(pings);
  }
  open_.erase(path);
}

std::vector<WrittenFile> BoxWatch::TakeWritten() { return std::exchange(written_, {}); }

void BoxWatch::Hashed(const std::string& path) {
  const FileDigest digest = Sha256OfFile(path);
  if (!digest.hex.empty()) written_.push_back({path, digest.hex, digest.bytes});
}

const WrittenFile* BoxWatch::Find(const std::string& path) const {
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
