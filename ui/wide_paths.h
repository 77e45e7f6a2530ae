#pragma once
// Paths the program's own items take (Open Disc Image, a dropped file, the
// command line, the Tools folders) come in as wide characters, whatever the
// ANSI code page holds, and may be longer than MAX_PATH. The disc and box
// libraries open files by ANSI paths: a path is handed to them in a form
// those calls open.

#include <windows.h>

#include <optional>
#include <string>

namespace zep::ui {

// The longest path the wide calls give, with the terminator.
inline constexpr DWORD kLongPathChars = 32768;

std::wstring WidePath(const std::string& ansiPath);
// The ANSI form, when every character has one (no best fit, no '?').
std::optional<std::string> ExactAnsiPath(const std::wstring& path);
// path in a form the libraries' ANSI calls open: itself, when the ANSI code
// page holds it and it is shorter than MAX_PATH; else the system's short
// (8.3) form of it, when it has one that does; else the ANSI form of a long
// path, which the libraries' own writes take. Empty when none of these is
// possible; path must exist for its short form.
std::optional<std::string> LibraryPath(const std::wstring& path);

// Why path cannot be handed on, for an "Error" box.
std::wstring NoLibraryPathText(const std::wstring& path);

// The GNU ddrescue mapfile beside an image, by the names the disc reader
// looks for (FindMapfileBeside: IMAGE.map, IMAGE.mapfile, STEM.map,
// STEM.mapfile), in wide characters; empty when there is none. The reader,
// given an image's short form, would look beside that name and miss it.
std::wstring MapfileBeside(const std::wstring& image);
// Whether the libraries get path in another form than its own ANSI text.
bool TakesAnotherForm(const std::wstring& path);

}  // namespace zep::ui
