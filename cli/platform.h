#pragma once
// What differs between the Windows and the POSIX zepconv: whether stderr is a
// terminal, whether a SOURCE names a drive, how a record's name becomes a name
// in the file system, and the console's character set.

#include <optional>
#include <string>
#include <string_view>

namespace zep::cli {

// The progress bar is drawn only on a terminal: anywhere else its carriage
// returns would only litter a log.
bool StderrIsTerminal();

// The drive letter that a SOURCE such as "E:" names, upper-cased; never one on
// a system without drive letters, where "E:" is an ordinary file name.
std::optional<char> DriveLetterOf(const std::string& source);

// A record file name (one byte per character, as on the disc) as the file
// system should receive it.
std::string NativeFileName(std::string_view name);

// Lets the console show the UTF-8 that zepconv writes.
void PrepareConsole();

}  // namespace zep::cli
