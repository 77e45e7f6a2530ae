#include "disc/text_file.h"

#include <filesystem>
#include <system_error>

namespace zep {

std::optional<Problem> MakeFolder(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(dir), ec);
  if (!ec && !std::filesystem::is_directory(std::filesystem::path(dir), ec)) {
    ec = std::make_error_code(std::errc::not_a_directory);
  }
  if (!ec) return std::nullopt;
  return Problem{dir, "cannot create the folder: " + ec.message(), 0, ProblemKind::kWriteFailed};
}

std::optional<Problem> WriteTextFile(const std::string& path, std::string_view text, const OutputOptions& options) {
  OutputFile file = OutputFile::Create(path, options);
  if (file.open()) file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  if (file.open() && file.Close()) return std::nullopt;
  return file.problem();
}

bool TextFiles::Write(const std::string& path, std::string_view text) {
  OutputFile file = OutputFile::Create(path, options_);
  if (file.open()) file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  if (!file.open() || file.failed()) {
    problems_.push_back(file.problem());
    file.Discard();
    return false;
  }
  file.SendOn();
  written_.push_back(std::move(file));
  // Some at a time: each waits open, and a process may hold few files open.
  constexpr std::size_t kTogether = 32;
  if (written_.size() == kTogether) PutInPlace();
  return true;
}

void TextFiles::PutInPlace() {
  for (Problem& p : CloseTogether(written_)) problems_.push_back(std::move(p));
  written_.clear();
}

}  // namespace zep
