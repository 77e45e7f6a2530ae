#pragma once
// The viewer writer's parts, for its own files: where its scripts go, and
// the echogram's columns halved again and again into chunks of columns.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <map>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "convert/record_file.h"
#include "disc/problem.h"
#include "disc/text_file.h"
#include "export/ping_place.h"
#include "export/ping_rows.h"
#include "export/viewer_data.h"

namespace zep::viewer {

// Where the files go. The files are made as texts, on a thread of their own
// where the request says so, and written on the thread that asked for the
// viewer: only that thread puts files in place, and the making goes on while
// the system takes the last ones. After the first failure nothing more is
// made or written.
class Writer {
 public:
  explicit Writer(const ViewerRequest& request) : request_(request), files_(request.output) {}
  const ViewerRequest& request() const { return request_; }
  // The maker's side. last: the file is put in place after every file made
  // before it.
  void Write(const std::string& path, std::string_view text, bool last = false);
  // A file made whole elsewhere, its text taken over.
  void Give(const std::string& path, std::string&& text, bool last = false);
  // An empty text with room for room bytes: one written already, where
  // there is one, for its room.
  std::string Spare(std::size_t room);
  // A text done with, kept for its room where there is room for it.
  void Recycle(std::string&& text);
  // A data script in the request's folder.
  void WriteData(const std::string& name, std::string&& text);
  std::string DataPath(const std::string& name) const;
  // No more files will come.
  void End();

  // The writing side: writes every file made, until End() (with ownThread),
  // or what is left (without); then the problems of the whole.
  Problems WriteAll();
  // The writing side gives up: the maker stops at its next file.
  void Abandon();

 private:
  struct Made {
    std::string path, text;
    bool last = false;
  };
  bool Stopped();
  bool Take(Made& made);
  void WriteOne(const Made& made);
  const ViewerRequest& request_;
  TextFiles files_;  // the writing side's
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Made> made_;             // made, not yet written
  std::vector<std::string> spare_;    // texts written, kept for their room
  std::size_t spareBytes_ = 0;        // their capacity
  std::size_t queued_ = 0;            // bytes in made_
  bool ended_ = false, failed_ = false;
};

// One column of the echogram at one level: a ping (or the strongest of the
// pings it stands for). Unread samples hold 0, and unread[i] is set for
// them; unread is looked at only when anyUnread. A column of no ping has no
// samples.
struct ColumnView {
  bool present = false, anyUnread = false;
  std::span<const std::uint8_t> value, unread;
};
struct Column {
  bool present = false, anyUnread = false;
  std::vector<std::uint8_t> value, unread;
  ColumnView View() const { return {present, anyUnread, value, unread}; }
};

// The columns of one level, written a chunk of kViewerChunkColumns at a
// time, each column into the chunk's text as it comes.
class Level {
 public:
  Level(int level, Writer& writer) : level_(level), writer_(writer) {}
  void Add(const ColumnView& c);
  void Flush();
  int columns() const { return columns_; }
  int chunks() const { return chunks_; }

 private:
  int level_, columns_ = 0, chunks_ = 0, inChunk_ = 0;
  std::size_t rows_ = 0, values_ = 0, reserve_ = 0;
  bool anyUnread_ = false;
  Writer& writer_;
  std::string text_;  // the chunk's script so far
  std::vector<std::uint8_t> mask_;
  std::string lens_;
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
  void Add(const ColumnView& c, std::size_t level);
  Slot& At(std::size_t level);

  Writer& writer_;
  std::vector<std::unique_ptr<Slot>> slots_;
  Column ping_;
};

// The per-column table of the meta script: a column for each ping, and for
// each of a run of missing ones (up to kViewerGapColumns of it). Pings get
// their places later, by their ordinal in the walk, and the table is written
// out as JSON arrays only at the end.
class Table {
 public:
  void Missing(std::int64_t index);
  // The next ping of the walk; missingBefore as the ping table counts it.
  void Ping(const PingInfo& p, std::uint32_t missingBefore);
  void Place(std::uint64_t ordinal, const PingPlace& place) { places_[ordinal] = place; }
  std::uint32_t MissingBefore(std::uint64_t ordinal) const { return missingBefore_[ordinal]; }
  std::int64_t columns() const { return static_cast<std::int64_t>(columns_.size()); }
  std::int64_t pings() const { return static_cast<std::int64_t>(places_.size()); }
  // The first time of a ping in the table, in ms since 1970.
  std::optional<std::int64_t> T0() const;
  // ,"idx":[...],...,"u":[...]: a JSON array for each field, times in ms from T0.
  void AppendArrays(std::string& out) const;

 private:
  struct Entry {
    std::int64_t index = 0;
    std::int64_t ordinal = -1;  // of the ping; -1 for a missing one
    std::uint16_t samples = 0;
    std::uint8_t mode = 0;
    std::uint32_t unread = 0;
  };
  template <typename Cell>
  void AppendArray(std::string& out, const char* key, Cell cell) const;
  std::vector<Entry> columns_;
  std::vector<PingPlace> places_;             // by ordinal
  std::vector<std::uint32_t> missingBefore_;  // by ordinal
};

// The rows `zepconv pings` writes for the record, for the page's CSV of
// selected pings: in scripts of kViewerRowPings pings each, loaded when
// exported. The file column names the record file alone, as the folder may
// move. Rows come as their pings are placed: in walk order, except those
// before the first fix, which come last and go before the rest of their
// script.
class RowScripts {
 public:
  RowScripts(Writer& writer, const std::string& record);
  ~RowScripts();
  static std::string CsvHeader();
  void Row(const PingInfo& p, std::uint64_t ordinal, const PingPlace& place, std::uint32_t missingBefore);
  void Finish();

 private:
  struct Script {
    std::string early, late;  // rows that came after one later in the walk; the rest
    std::size_t rows = 0;
  };
  void Write(std::size_t number, Script& script);
  Writer& writer_;
  std::string line_;
  std::size_t rowBytes_ = 0;  // the most a script's rows took, made room for at once
  std::unique_ptr<PingRows> rows_;
  std::map<std::size_t, Script> scripts_;
  std::optional<std::uint64_t> latest_;
};

// The pings' side of a record's walk, apart from their samples: their
// columns in the table, their places once the fix after each is seen, and
// their rows of the ping table. With a thread of its own (the request's
// ownThread), it takes the pings in batches, copied, and goes on beside the
// echogram's levels.
class PingSide {
 public:
  PingSide(Writer& writer, const std::string& record, bool ownThread);
  ~PingSide();
  PingSide(const PingSide&) = delete;
  PingSide& operator=(const PingSide&) = delete;
  void Add(const PingInfo& p);
  // Every ping placed and its rows written; then the table and the runs of
  // missing pings ([column, columns shown, first index, pings] each, as JSON)
  // are whole. A fault of the thread is thrown here.
  void Finish();
  const Table& table() const { return table_; }
  const std::string& gaps() const { return gaps_; }

 private:
  void Take(const PingInfo& p);
  void Run();
  void Hand(bool last);

  Table table_;
  RowScripts rows_;
  PingPlacer placer_;
  std::string gaps_;
  std::optional<std::uint32_t> last_;
  // The thread's: batches waiting, the one being filled.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<PingInfo>> batches_;
  std::vector<PingInfo> filling_;
  bool ended_ = false, ownThread_;
  std::exception_ptr fault_;
  std::thread thread_;
};

// bytes as the inside of a JavaScript "..." string literal, for a script the
// page loads as x-user-defined (a byte of 0x80 or more reads as U+F700 plus
// itself, any other as itself): each byte with its top bit flipped, so that
// (charCodeAt & 0xFF) ^ 0x80 gives it back. The quote, the backslash, LF and
// CR are escaped; every other byte stands raw.
void AppendByteString(std::string& out, const std::uint8_t* bytes, std::size_t size);
inline constexpr std::size_t kByteStringStep = 4096;  // bytes encoded at a time
// The encoder's builds, for the processors that have their instructions;
// AppendByteString takes the fastest the processor runs. All agree byte for
// byte.
enum class ByteStringBuild { kPortable, kSsse3, kAvx512 };
bool ProcessorRuns(ByteStringBuild build);
// One build, where the processor runs it, else the portable one.
void AppendByteStringBuilt(ByteStringBuild build, std::string& out, const std::uint8_t* bytes, std::size_t size);

}  // namespace zep::viewer
