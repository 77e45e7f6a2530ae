#pragma once
// An output folder made, and a short text (a map, a report) written whole as
// a file: the one way every part of the program does either, so that a
// failure of one is the same Problem, in the same words, wherever it arises.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc/file.h"
#include "disc/problem.h"

namespace zep {

// Creates dir and any missing parents. A path that exists as a file is a
// failure too, on every standard library (not all report it). The problem
// is about dir, of kind kWriteFailed.
std::optional<Problem> MakeFolder(const std::string& dir);

// Writes text as the file path, put in place only when whole (see
// OutputFile); its problem when it could not be.
std::optional<Problem> WriteTextFile(const std::string& path, std::string_view text, const OutputOptions& options = {});

// Files closed together at most, for WriteTextFiles and any writer of many.
inline constexpr std::size_t kCloseTogether = 32;

struct TextFile {
  std::string path;
  std::string text;
};

// Writes each text as its file, as WriteTextFile does, with one sync of the
// file system for them all (CloseTogether): a box's hundreds of pages. The
// files go into one folder and those below it. The problems of those that
// could not be written; the others are in place.
Problems WriteTextFiles(const std::vector<TextFile>& files, const OutputOptions& options = {});

}  // namespace zep
