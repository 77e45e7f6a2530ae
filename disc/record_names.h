#pragma once
// File names for converted records. Names come off the disc and may hold
// anything: they are made safe to use as one file name inside the chosen
// folder, and records of one run never share a file.

#include <set>
#include <string>
#include <string_view>

namespace zep {

// The record's file name: characters no file name can carry (\ / : * ? " < > |
// and control characters) become '_', a name of dots alone has its dots
// replaced too, and a reserved device name (CON, NUL, COM1, ...) gets a leading
// '_'. Then ".ZEP" is added unless the name already has an extension: a '.'
// with no space after it, as the Windows shell decides.
// A name every file system takes, Windows' included: bytes it refuses become
// '_', as does a name of dots only, and a device name (CON, COM1, CONIN$, ...)
// gets a leading '_'.
std::string SafeFileStem(std::string_view name);
std::string RecordFileName(std::string_view recordName);

// "record 3 (TRANSECT3)": how a record is named as the subject of what is
// said of it. name as the caller shows it.
std::string RecordSubject(int recordNumber, std::string_view name);

// Hands out the file names of one conversion run. A name already given in the
// run (compared without regard to case, as Windows file systems do) gets the
// record number before its extension: the second "SURVEY" from record 8 is
// written as "SURVEY_8.ZEP". Files from earlier runs are not looked at: they
// are replaced.
class RunFileNames {
 public:
  std::string Next(std::string_view recordName, int recordNumber);

 private:
  std::set<std::string> used_;  // upper-cased
};

}  // namespace zep
