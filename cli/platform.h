#pragma once
// What differs between the Windows and the POSIX zepconv: whether stderr is a
// terminal, whether a SOURCE names a drive, how a record's name becomes a name
// in the file system, and the console's character set.

#include <cstddef>
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

// From here on an interrupt (SIGINT, SIGTERM, SIGHUP; in a Windows console
// Ctrl+C, Ctrl+Break, closing it, logging off) removes every unfinished
// output's temporary file, names each ("zepconv: FILE: interrupted, not
// finished", or "zepconv: interrupted" when none was being written) and ends
// the process with 128 plus the signal's number: 130 for Ctrl+C.
void HandleInterrupts();

// A line said after those on an interrupt (how to go on), or none (null).
// The text must live until the process ends.
void SetInterruptHint(const char* line);

// What the run was busy with when no output was being written (a disc
// being read), named in place of the bare "zepconv: interrupted":
// "zepconv: WHAT: interrupted, not finished"; none (null) for the bare line.
// The text must live until it is replaced.
void SetInterruptSubject(const char* what);

// The messages above, for both platforms: the line for one unfinished output,
// or for none (path null), into a buffer of its own, since a signal handler
// may not allocate. Returns its length.
inline std::size_t InterruptLine(const char* path, char* line, std::size_t room) {
  std::size_t size = 0;
  for (const char* part : {"zepconv: ", path, path ? ": interrupted, not finished\n" : "interrupted\n"}) {
    for (; part != nullptr && *part != '\0' && size + 1 < room; ++part) line[size++] = *part;
  }
  return size;
}

}  // namespace zep::cli
