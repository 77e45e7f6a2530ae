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

}  // namespace zep
