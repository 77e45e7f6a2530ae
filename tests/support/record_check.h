#pragma once
// Checks every record file a test writes with the record walker: the
// file must be whole (zero header, pings back to back to its last byte), and
// the pings are handed back for the test's own checks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/record_file.h"
#include "tests/support/temp_dir.h"

namespace zep::test {

struct WalkedRecord {
  RecordWalk walk;
  std::vector<PingInfo> pings;
  std::vector<std::uint8_t> bytes;  // the whole file
};

// Walks the file both ways (streaming, and over its bytes) and expects both
// to agree that it is whole.
inline WalkedRecord WalkWhole(const std::string& path) {
  WalkedRecord r;
  r.bytes = ReadWholeFile(path);
  r.walk = WalkRecordFile(path, [&](const PingInfo& p) { r.pings.push_back(p); });
  EXPECT_TRUE(r.walk.whole) << path << ": " << r.walk.problem;
  std::vector<PingInfo> again;
  const RecordWalk w = WalkRecord(r.bytes, [&](const PingInfo& p) { again.push_back(p); });
  EXPECT_TRUE(w.whole) << path << ": " << w.problem;
  EXPECT_EQ(w.pings, r.walk.pings);
  EXPECT_EQ(again.size(), r.pings.size());
  EXPECT_EQ(r.walk.size, r.bytes.size());
  return r;
}

}  // namespace zep::test
