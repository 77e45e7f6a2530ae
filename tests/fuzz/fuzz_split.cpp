// Arbitrary bytes as a scan dump: every file the splitter writes must walk
// from its header to its last byte, ping after ping. Its pings' indexes are
// the dump's own, so a jump between two of them is a gap the walk rightly
// names; a stretch it passes over is not. A run may hold no ping at all: one
// that the end of the dump cuts short at once.
//
// Then under a map that names a stretch of the dump as not read: what the
// dump holds there must change nothing that is written, and the maps of the
// files must name what the walks flag.

#include <algorithm>
#include <memory>
#include <vector>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every file's bytes and its map's, as split into a fresh dir.
std::vector<Bytes> Split(const std::filesystem::path& dir, const Bytes& data,
                         std::shared_ptr<const zep::RescueMap> unread) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string dump = zep::test::WriteWholeFile((dir / "test.bin").string(), data);
  const zep::SplitResult r = zep::SplitScanDump(dump, (dir / "fond%i.zep").string(), unread);
  FUZZ_CHECK(r.dumpOpened && r.failures.empty() && static_cast<int>(r.files.size()) == r.runs);
  std::vector<Bytes> written;
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    const zep::RecordWalk walk = zep::WalkRecordFile(r.files[i]);
    FUZZ_CHECK(walk.opened && walk.headerZero && walk.problems.empty() && walk.unreadBytes == r.fileUnread[i]);
    FUZZ_CHECK(walk.stoppedAt == walk.size && walk.pings == r.filePings[i]);
    for (const zep::WalkGap& gap : walk.gaps) FUZZ_CHECK(gap.begin == gap.end);
    written.push_back(zep::test::ReadWholeFile(r.files[i]));
    const std::string map = zep::UnreadMapPath(r.files[i]);
    FUZZ_CHECK(std::filesystem::exists(map) == (r.fileUnread[i] > 0));
    written.push_back(r.fileUnread[i] > 0 ? zep::test::ReadWholeFile(map) : Bytes{});
  }
  return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path dir = FuzzScratch("split");
  const Bytes dump(data, data + size);
  Split(dir, dump, nullptr);
  if (size >= 2) {
    // From a third of the way in, as many bytes as the first two say.
    const std::size_t from = size / 3, count = std::min<std::size_t>(size - from, data[0] | data[1] << 8);
    zep::UnreadBytes unread;
    unread.Add(static_cast<std::int64_t>(from), static_cast<std::int64_t>(count));
    const auto map = std::make_shared<const zep::RescueMap>(unread.Map(static_cast<std::int64_t>(size)));
    Bytes zeros = dump, magics = dump;
    std::fill_n(zeros.begin() + static_cast<std::ptrdiff_t>(from), count, 0);
    for (std::size_t i = 0; i < count; ++i) magics[from + i] = static_cast<std::uint8_t>("VORL"[i % 4]);
    FUZZ_CHECK(Split(dir, zeros, map) == Split(dir, magics, map));
  }
  std::filesystem::remove_all(dir);
  return 0;
}
