#include "disc/record_names.h"

#include <algorithm>
#include <array>

#include "disc/ascii.h"

namespace zep {
namespace {

bool UnsafeChar(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
         c == '<' || c == '>' || c == '|';
}

// Windows opens a device, not a file, for these names, with any extension and
// with trailing spaces.
bool IsReservedDeviceName(std::string_view name) {
  std::string base = AsciiUpper(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
         base[3] <= '9';
}

// Where the extension starts, as PathFindExtensionA finds it: the last '.'
// that no space follows; npos when there is none.
std::size_t ExtensionStart(std::string_view name) {
  std::size_t ext = std::string_view::npos;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '.') ext = i;
    else if (name[i] == ' ') ext = std::string_view::npos;
  }
  return ext;
}

}  // namespace

std::string SafeFileStem(std::string_view given) {
  std::string name(given);
  for (char& c : name)
    if (UnsafeChar(static_cast<unsigned char>(c))) c = '_';
  if (!name.empty() && name.find_first_not_of('.') == std::string::npos) std::fill(name.begin(), name.end(), '_');
  if (IsReservedDeviceName(name)) name = "_" + name;  // not insert(0, ...): GCC 12 at -O3 warns falsely about it
  return name;
}

std::string RecordFileName(std::string_view recordName) {
  std::string name = SafeFileStem(recordName);
  if (ExtensionStart(name) == std::string::npos) name += ".ZEP";
  return name;
}

std::string RunFileNames::Next(std::string_view recordName, int recordNumber) {
  std::string name = RecordFileName(recordName);
  if (used_.insert(AsciiUpper(name)).second) return name;
  const std::size_t ext = ExtensionStart(name);
  const std::string stem = name.substr(0, ext);
  const std::string extension = name.substr(ext);
  std::string candidate = stem + "_" + std::to_string(recordNumber) + extension;
  for (int k = 2; !used_.insert(AsciiUpper(candidate)).second; ++k) {
    candidate = stem + "_" + std::to_string(recordNumber) + "_" + std::to_string(k) + extension;
  }
  return candidate;
}

std::string RecordSubject(int recordNumber, std::string_view name) {
  return "record " + std::to_string(recordNumber) + " (" + std::string(name) + ")";
}

}  // namespace zep
