#pragma once
// The viewer writer's parts, for its own files: where its scripts go, and
// the echogram's columns halved again and again into chunks of columns.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/record_file.h"
#include "disc/problem.h"
#include "export/viewer_data.h"

namespace zep::viewer {

// Where the files go and what went wrong writing them: after the first
// failure nothing more is written.
struct Writer {
  const ViewerRequest& request;
  Problems problems;
  void Write(const std::string& path, std::string_view text);
  // A data script in the request's folder.
  void WriteData(const std::string& name, std::string_view text);
};

// One column of the echogram at one level: a ping (or the strongest of the
// pings it stands for). Unread samples hold 0, and unread[i] is set for
// them; unread is looked at only when anyUnread. A column of no ping has no
// samples.
struct Column {
  bool present = false, anyUnread = false;
  std::vector<std::uint8_t> value, unread;
};

// The columns of one level, written a chunk of kViewerChunkColumns at a
// time; the buffers are kept from chunk to chunk.
class Level {
 public:
  Level(int level, Writer& writer) : level_(level), writer_(writer) {}
  void Add(const Column& c);
  void Flush();
  int columns() const { return columns_; }
  int chunks() const { return chunks_; }

 private:
  int level_, columns_ = 0, chunks_ = 0, inChunk_ = 0;
  std::size_t rows_ = 0;
  bool anyUnread_ = false;
  Writer& writer_;
  std::vector<std::uint8_t> values_, mask_;
  std::string lens_, text_;
};

// Every level: each column of one handed up halved with its neighbour.
class Pyramid {
 public:
  explicit Pyramid(Writer& writer) : writer_(writer) {}
  void Ping(const PingInfo& p, std::span<const std::uint8_t> samples);
  void Missing();
  // The last lone columns handed up, and every level's last chunk written.
  void Finish();
  std::string LevelsJson() const;

 private:
  struct Slot {
    Level level;
    bool pending = false;
    Column held, merged;  // the column waiting for its neighbour; their halving
  };
  void Add(const Column& c, std::size_t level);
  Slot& At(std::size_t level);

  Writer& writer_;
  std::vector<std::unique_ptr<Slot>> slots_;
  Column ping_;
};

void AppendBase64(std::string& out, const std::uint8_t* bytes, std::size_t size);

}  // namespace zep::viewer
