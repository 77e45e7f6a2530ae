// What both platforms' hashes share: the file walk and the hex digits.

#include "box/sha256.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/file.h"

namespace zep {
namespace {

// Bytes are handed over in pieces of this size, at most so many at once;
// the pieces are made once and used again, so the lane's memory is fixed
// (a piece freed on one thread and made anew on another would leave the
// allocator's heap to grow). Enough to keep the lane busy through a
// record's conversion, small beside the memory a box may take.
constexpr std::size_t kPiece = 1 << 20;
constexpr std::size_t kPieces = 8;
// Pieces waiting at which the writer hashes its own bytes rather than queue them.
constexpr std::size_t kBehind = 2;

}  // namespace

struct HashLane::Job {
  Sha256* owner = nullptr;
  std::vector<std::uint8_t> bytes;
};

struct HashLane::Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Job> jobs;
  std::vector<std::vector<std::uint8_t>> spare;  // pieces hashed, to be filled again
  std::size_t pieces = 0;                        // made, of kPieces
  std::vector<const Sha256*> busy;      // whose bytes are being hashed now, by the lane or a helper
  std::vector<const Sha256*> settling;  // whose digest is waited for: their last piece may go part full
  bool stop = false;
  std::thread thread;

  bool Busy(const Sha256* owner) const { return std::find(busy.begin(), busy.end(), owner) != busy.end(); }
  bool Queued(const Sha256* owner) const {
    return std::any_of(jobs.begin(), jobs.end(), [&](const Job& j) { return j.owner == owner; });
  }
  // A piece is hashed once it is full or its owner has gone on to another
  // (the next piece is behind it) or waits for its digest; so the lane wakes
  // for a piece, not for every small write.
  bool Ready(std::size_t i) const {
    const Job& j = jobs[i];
    return i + 1 < jobs.size() || j.bytes.size() >= kPiece || stop ||
           std::find(settling.begin(), settling.end(), j.owner) != settling.end();
  }
  // The first piece that may be hashed now (each owner's in order, one at a
  // time), of owner alone when one is given; jobs.size() when none.
  std::size_t Next(const Sha256* owner = nullptr) const {
    std::vector<const Sha256*> before;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const Sha256* o = jobs[i].owner;
      const bool first = std::find(before.begin(), before.end(), o) == before.end();
      if (first && (!owner || o == owner) && !Busy(o) && Ready(i)) return i;
      before.push_back(o);
    }
    return jobs.size();
  }
  // Hashes piece i on the calling thread, the lock let go meanwhile.
  void Hash(std::unique_lock<std::mutex>& lock, std::size_t i) {
    Job job = std::move(jobs[i]);
    jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(i));
    busy.push_back(job.owner);
    lock.unlock();
    job.owner->Absorb(job.bytes);
    lock.lock();
    job.bytes.clear();
    spare.push_back(std::move(job.bytes));
    busy.erase(std::find(busy.begin(), busy.end(), job.owner));
    changed.notify_all();
  }
};

HashLane::HashLane() : queue_(std::make_unique<Queue>()) {
  queue_->thread = std::thread([this] {
    LeaveInterruptsToOtherThreads();
    Run();
  });
}

HashLane::~HashLane() {
  {
    std::lock_guard lock(queue_->mutex);
    queue_->stop = true;
  }
  queue_->changed.notify_all();
  queue_->thread.join();
}

void HashLane::Put(Sha256* owner, std::span<const std::uint8_t> bytes) {
  Queue& q = *queue_;
  while (!bytes.empty()) {
    std::unique_lock lock(q.mutex);
    // While the lane has pieces enough to go on with, and none of owner's
    // wait, the writer hashes its bytes itself, straight from its own
    // buffer: no copy, and both threads hash.
    if (q.jobs.size() >= kBehind && !q.Queued(owner) && !q.Busy(owner)) {
      q.busy.push_back(owner);
      lock.unlock();
      owner->Absorb(bytes);
      lock.lock();
      q.busy.erase(std::find(q.busy.begin(), q.busy.end(), owner));
      return;
    }
    // Small writes go into the piece before, while no one has taken it.
    const auto room = [&] { return !q.jobs.empty() && q.jobs.back().owner == owner && q.jobs.back().bytes.size() < kPiece; };
    // Where every piece waits to be hashed, the writer hashes one rather
    // than wait: both threads hash while the hashing is behind.
    while (!room() && q.spare.empty() && q.pieces == kPieces) {
      if (const std::size_t i = q.Next(); i < q.jobs.size()) q.Hash(lock, i);
      else q.changed.wait(lock);
    }
    bool ready = false;
    if (!room()) {
      std::vector<std::uint8_t> piece;
      if (!q.spare.empty()) {
        piece = std::move(q.spare.back());
        q.spare.pop_back();
      } else {
        piece.reserve(kPiece);
        ++q.pieces;
      }
      ready = !q.jobs.empty();  // the piece before is now behind another
      q.jobs.push_back({owner, std::move(piece)});
    }
    std::vector<std::uint8_t>& piece = q.jobs.back().bytes;
    const std::size_t n = std::min(bytes.size(), kPiece - piece.size());
    piece.insert(piece.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    bytes = bytes.subspan(n);
    ready = ready || piece.size() == kPiece;
    lock.unlock();
    if (ready) q.changed.notify_all();
  }
}

void HashLane::Settle(const Sha256* owner) {
  Queue& q = *queue_;
  std::unique_lock lock(q.mutex);
  q.settling.push_back(owner);
  q.changed.notify_all();
  // The waiter hashes its own pieces where the lane is busy with others'.
  for (;;) {
    if (!q.Queued(owner) && !q.Busy(owner)) break;
    if (const std::size_t i = q.Next(owner); i < q.jobs.size()) q.Hash(lock, i);
    else q.changed.wait(lock);
  }
  q.settling.erase(std::find(q.settling.begin(), q.settling.end(), owner));
}

void HashLane::Run() {
  Queue& q = *queue_;
  std::unique_lock lock(q.mutex);
  for (;;) {
    if (const std::size_t i = q.Next(); i < q.jobs.size()) q.Hash(lock, i);
    else if (q.stop && q.jobs.empty()) return;
    else q.changed.wait(lock);
  }
}

int DefaultJobs() { return std::thread::hardware_concurrency() >= 2 ? 2 : 1; }

Sha256::Sha256(std::shared_ptr<HashLane> lane) : Sha256() { lane_ = std::move(lane); }

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  if (lane_) lane_->Put(this, bytes);
  else Absorb(bytes);
}

std::string Sha256::HexDigest() {
  Settle();
  return Finish();
}

void Sha256::Settle() {
  if (lane_) lane_->Settle(this);
}

std::string HexOf(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

FileDigest Sha256OfFile(const std::string& path, const std::function<void(std::uint64_t)>& progress) {
  FileDigest d;
  InputFile in = InputFile::Open(path);
  if (!in.open()) {
    d.problem = in.problem();
    return d;
  }
  Sha256 hash;
  std::vector<std::uint8_t> buffer(1 << 20);
  for (;;) {
    const ReadResult r = in.Read(buffer);
    if (!r.ok()) {
      d.problem = r.problem;
      return d;
    }
    if (r.bytes == 0) break;
    hash.Update(std::span(buffer.data(), r.bytes));
    d.bytes += r.bytes;
    if (progress) progress(d.bytes);
    if (r.bytes < buffer.size()) break;
  }
  d.hex = hash.HexDigest();
  return d;
}

}  // namespace zep
