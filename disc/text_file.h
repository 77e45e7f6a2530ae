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

// Text files written one after another into one folder (and those below
// it), each sent on to the disc as soon as it is written, and put in place
// some at a time after one sync of their file system (CloseTogether): a
// box's hundreds of pages, a viewer's hundreds of scripts. Files not yet in
// place when it goes are discarded.
class TextFiles {
 public:
  explicit TextFiles(OutputOptions options = {}) : options_(std::move(options)) {}
  // Writes text as the file path; false, with its problem kept, when it
  // could not be.
  bool Write(const std::string& path, std::string_view text);
  // Puts every file written so far in place.
  void PutInPlace();
  // The files that could not be written or put in place.
  const Problems& problems() const { return problems_; }

 private:
  OutputOptions options_;
  std::vector<OutputFile> written_;  // on their way to the disc, not yet in place
  Problems problems_;
};

}  // namespace zep
