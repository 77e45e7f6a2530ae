#pragma once
// GNU ddrescue mapfiles: which byte ranges of a disc image were rescued. An
// image made by ddrescue holds zeros wherever the drive gave nothing, and
// those zeros must never pass for the disc's data; under a map, a read that
// touches any byte not marked '+' fails as an unreadable read would.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc/volume.h"

namespace zep {

struct RescueBlock {
  std::int64_t pos = 0;
  std::int64_t size = 0;
  char status = '?';  // '?' non-tried, '*' non-trimmed, '/' non-scraped, '-' bad sector, '+' rescued
};

struct RescueMap {
  std::string path;                 // for messages
  std::vector<RescueBlock> blocks;  // in order, each starting where the one before ends

  // The end of the last block: the size of the disc the map describes.
  std::int64_t End() const;
  // The first block that holds a byte of [pos, end) not marked '+', or null
  // when every byte there is rescued. Bytes the map does not cover are not.
  const RescueBlock* FirstUnrescued(std::int64_t pos, std::int64_t end) const;
  // Where the rescued bytes end: the end of the last '+' block, 0 when none.
  std::int64_t RescuedEnd() const;
  // The stretches of [pos, end) not marked '+', in order, bytes the map does
  // not cover included; and how many bytes they hold.
  std::vector<RescueBlock> Unrescued(std::int64_t pos, std::int64_t end) const;
  std::int64_t UnrescuedBytes(std::int64_t pos, std::int64_t end) const;
};

// The map as GNU ddrescue writes it, which ddrescuelog and ddrescue itself
// read: a comment naming the creator, the current-position line, then the
// blocks in hexadecimal.
std::string FormatRescueMap(const RescueMap& map, std::string_view creator);

struct RescueMapLoad {
  std::optional<RescueMap> map;
  std::optional<Problem> problem;  // subject "FILE:LINE" or "FILE"; kUnreadable, or kOther for a malformed map
};

// Parses a mapfile's text: '#' comment lines (and blank ones), the
// current-position line "pos status [pass]", then "pos size status" lines.
// Numbers are decimal or 0x hexadecimal; a leading 0 (octal to ddrescue) is
// refused rather than guessed at.
RescueMapLoad ParseRescueMap(std::string_view text, const std::string& path);
RescueMapLoad LoadRescueMap(const std::string& path);

// Whether the map can describe an image of imageSize bytes: every rescued
// byte must be in the image. Bytes after the image's end that ddrescue did not
// rescue are fine: ddrescue never writes them, so its image may end early.
// Gives the reason, naming both files, or nothing.
std::optional<Problem> RescueMapMismatch(const RescueMap& map, const Volume& image);

// The image under its map: reads touching a byte not marked '+' fail, naming
// the map and the first such range; the size is the larger of the image's and
// the map's (the map's alone while the image's is unknown). Everything else
// is the image's.
std::unique_ptr<Volume> VolumeUnderMap(std::unique_ptr<Volume> image, std::shared_ptr<const RescueMap> map);

// The mapfile that GNU ddrescue users keep beside an image, or "" when there
// is none: the first ordinary file of IMAGE.map, IMAGE.mapfile, then (IMAGE
// without its extension).map and .mapfile. "disc.img" finds "disc.img.map",
// "disc.img.mapfile", "disc.map" or "disc.mapfile", in that order.
std::string FindMapfileBeside(const std::string& imagePath);

// Opens what open opens and puts the map over it; the open fails when the map
// does not fit the image (RescueMapMismatch).
VolumeOpener OpenUnderMap(VolumeOpener open, std::shared_ptr<const RescueMap> map);

}  // namespace zep
