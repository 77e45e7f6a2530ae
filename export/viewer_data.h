#pragma once
// A record's viewer: a page beside the record file that draws its echogram
// in the browser, opened from the file system with no server. Browsers
// refuse to read local files from script, so the data are classic scripts
// that the page adds as they come into view: the pings' times, places and
// modes in one, the samples in chunks of columns, and the same halved again
// and again (a pyramid), so that a screen column never needs more than one.
// The scripts hold only data: every text in them is a JSON string with
// markup characters escaped, and the samples are bytes in strings.

#include <cstdint>
#include <string>
#include <string_view>

#include "disc/file.h"
#include "disc/problem.h"

namespace zep {

inline constexpr int kViewerChunkColumns = 512;
// Pings per script of `zepconv pings` rows (loaded only for a CSV export).
inline constexpr int kViewerRowPings = 4096;
// A longer run of missing pings is drawn this many columns wide; the
// readout names the whole run.
inline constexpr int kViewerGapColumns = 1000;

struct ViewerRequest {
  std::string record;    // the record file, read with its map
  std::string page;      // the page to write, e.g. DIR/REEF-viewer.html
  std::string dataDir;   // folder for its data scripts, created; beside the page
  std::string assets;    // URL of the box's script and style folder, relative to the page
  std::string title;     // the record's name, as the disc gives it (UTF-8)
  std::string disc;      // the disc's image name and label, shown on the page
  OutputOptions output;  // every file written with these
  // Makes the data on a thread of its own while the calling thread writes
  // them (the files come out the same either way).
  bool ownThread = true;
};

// Writes the page and its data. Problems: the record could not be read, or
// a file could not be written (then nothing is linked).
Problems WriteViewer(const ViewerRequest& request);

// The box's one copy of the viewer's and the index's script and style.
std::string_view ViewerScript();
std::string_view ViewerStyle();
std::string_view IndexScript();
// Natural Earth's 1:50m coastline (public domain): a line per coastline,
// points "longitude,latitude" apart by a space.
std::string_view CoastlineText();

// bytes as the inside of a string literal of a data script, as the page
// reads it back.
std::string ByteString(const std::uint8_t* bytes, std::size_t size);

}  // namespace zep
