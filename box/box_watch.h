#pragma once
// What the inventory learns from its outputs as they are written: each
// file's SHA-256 and size, and from each record file its pings, fed to the
// track and the thumbnail, so that nothing it wrote is read back.

#include <cstdint>
#include <functional>
#include <optional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "convert/record_file.h"
#include "disc/file.h"
#include "export/echogram.h"
#include "box/inventory.h"
#include "box/sha256.h"

namespace zep {

// What a record file's pings gave, walked as the file was written.
struct RecordPings {
  RecordWalk walk;
  std::string geojson;  // its track
  // The track's length, ends and shape (for the pages), into an InventoryRecord.
  InventoryRecord track;
  std::unique_ptr<ThumbnailSink> thumbnail;
};

struct WrittenFile {
  std::string path;  // as written (the final name)
  std::string sha256;
  std::uint64_t size = 0;
};

class PingFeed;

class BoxWatch final : public OutputWatch {
 public:
  // recordName names the track of a record file not expected ahead (a
  // carved run's), or gives nothing for a file of another kind.
  using RecordNamer = std::function<std::optional<std::string>(const std::string& path)>;
  // Files are hashed on lane's thread where there is one.
  explicit BoxWatch(RecordNamer recordName = {}, std::shared_ptr<HashLane> lane = {});
  ~BoxWatch() override;

  // The record file about to be written at path: its pings are walked as its
  // bytes come, its track named trackName in the GeoJSON.
  void ExpectRecord(const std::string& path, const std::string& trackName);

  void Wrote(const std::string& path, std::span<const std::uint8_t> bytes) override;
  void Unread(const std::string& path, std::uint64_t at, std::uint64_t count) override;
  void Closed(const std::string& path, bool kept) override;

  // The files kept since the last call, in the order they were closed.
  std::vector<WrittenFile> TakeWritten();
  // A file another library wrote by its name, hashed by reading it.
  void Hashed(const std::string& path);
  // One of them, by its path; null when it was not kept.
  const WrittenFile* Find(const std::string& path);
  // A kept record file's pings; null when it was not expected or not kept.
  std::unique_ptr<RecordPings> TakePings(const std::string& path);

 private:
  struct Open {
    explicit Open(std::shared_ptr<HashLane> lane);
    ~Open();
    Sha256 hash;
    std::uint64_t size = 0;
    std::unique_ptr<PingFeed> feed;
  };
  Open& At(const std::string& path);
  // The digests of the files closed, waited for.
  void Settle();

  std::map<std::string, std::unique_ptr<Open>> open_;
  std::vector<std::pair<std::string, std::unique_ptr<Open>>> closed_;  // kept, digest not yet taken
  RecordNamer recordName_;
  std::shared_ptr<HashLane> lane_;
  std::map<std::string, std::string> expected_;  // record path, its track's name
  std::map<std::string, std::unique_ptr<RecordPings>> pings_;
  std::vector<WrittenFile> written_;
};

}  // namespace zep
