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
  Sha256* busy = nullptr;     // whose bytes the lane hashes now
  bool stop = false;
  std::thread thread;
};

HashLane::HashLane() : queue_(std::make_unique<Queue>()) {
  queue_->thread = std::thread([this] { Run(); });
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
    // Small writes go into the piece before, while the lane has not taken it.
    const auto room = [&] { return !q.jobs.empty() && q.jobs.back().owner == owner && q.jobs.back().bytes.size() < kPiece; };
    q.changed.wait(lock, [&] { return room() || !q.spare.empty() || q.pieces < kPieces; });
    if (!room()) {
      std::vector<std::uint8_t> piece;
      if (!q.spare.empty()) {
        piece = std::move(q.spare.back());
        q.spare.pop_back();
      } else {
        piece.reserve(kPiece);
        ++q.pieces;
      }
      q.jobs.push_back({owner, std::move(piece)});
    }
    std::vector<std::uint8_t>& piece = q.jobs.back().bytes;
    const std::size_t n = std::min(bytes.size(), kPiece - piece.size());
    piece.insert(piece.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    bytes = bytes.subspan(n);
    lock.unlock();
    q.changed.notify_all();
  }
}

void HashLane::Settle(const Sha256* owner) {
  Queue& q = *queue_;
  std::unique_lock lock(q.mutex);
  q.changed.wait(lock, [&] {
    return q.busy != owner && std::none_of(q.jobs.begin(), q.jobs.end(), [&](const Job& j) { return j.owner == owner; });
  });
}

void HashLane::Run() {
  Queue& q = *queue_;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(q.mutex);
      q.changed.wait(lock, [&] { return q.stop || !q.jobs.empty(); });
      if (q.jobs.empty()) return;
      job = std::move(q.jobs.front());
      q.jobs.pop_front();
      q.busy = job.owner;
    }
    job.owner->Absorb(job.bytes);
    {
      std::lock_guard lock(q.mutex);
      job.bytes.clear();
      q.spare.push_back(std::move(job.bytes));
      q.busy = nullptr;
    }
    q.changed.notify_all();
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
