#include <unistd.h>

#include "cli/platform.h"
#include "cli/text.h"

namespace zep::cli {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::optional<char> DriveLetterOf(const std::string&) { return std::nullopt; }

// File names here are UTF-8 by convention. The name bytes are the characters
// of the same value, so "é" on the disc (0xE9) is "é" in the folder, as the
// Windows program's files show it, not an invalid byte that ls shows as "?".
std::string NativeFileName(std::string_view name) { return Latin1ToUtf8(name); }

void PrepareConsole() {}

}  // namespace zep::cli
