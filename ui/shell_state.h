#pragma once
// The few values the Windows program keeps for its whole life, in one place.
// Everything runs on the window's thread, so nothing here is locked.
//
// Written by: start-up (instance, title, class name), WM_CREATE (the three
// child handles), the drive, image and source type commands, the scan
// (directory, what the disc looks like), RefreshSelectionTable (selection).
// Read by the commands and the run.

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/failed_reads.h"
#include "disc/volume.h"
#include "ui/menu_state.h"

namespace zep::ui {

// Where the scan leaves its dump and where the splitter writes what it finds.
inline constexpr const char* kScanDumpPath = "C:\\test.bin";
inline constexpr const char* kSplitOutputPattern = "C:\\fond%i.zep";
inline constexpr const char* kHelpFile = "Plattor.hlp";

struct ShellState {
  HINSTANCE instance = nullptr;
  char title[100] = {};      // string 103, the title at start-up
  char className[100] = {};  // string 109

  HWND recordList = nullptr;
  HWND statusBar = nullptr;
  HWND progressBar = nullptr;  // a child of the status bar

  char driveLetter = 'X';
  // A disc image opened in place of the drive, when set; read through the
  // mapfile beside it when there is one.
  std::string imagePath;
  std::string mapfile;
  VolumeOpener imageOpener;  // the image, under its map; set by its scan
  // The last scan opened the source and read it as a disc: the Tools that
  // read it have something to read.
  bool sourceOpen = false;
  // What reads of the current source failed, shared by every read of it until
  // the next scan: a bad unit is asked for at most twice.
  std::shared_ptr<FailedReads> failedReads = std::make_shared<FailedReads>();
  std::optional<TypeEvidence> discEvidence;  // the listed disc's own, weighed by its scan
  // An image opened by the program's own items read as a disc but listed no
  // record: its directory is lost or blank.
  bool directoryLost = false;
  SourceType sourceType = SourceType::Tk40;
  RecordDirectory directory{};  // the last disc read; all zero before the first
  SelectionTable selection{};   // flag per list row: the row exists and is selected
};

extern ShellState g_shell;

// Opens the drive as every read of a source does (OpenDiscSource), with the
// current source's memory of failed reads.
VolumeOpener DriveOpener(char driveLetter);
// Opens the current source: the image (under its map), else the drive, with
// the source's memory of failed reads.
VolumeOpener SourceOpener();
// The source as the check report and the boxes name it: the image's path or "X:".
std::string SourceName();

// Opens a document (the inventory's index.html) as the desktop does, in the
// default browser; why it could not, or empty. Tests put their own here.
inline std::function<std::string(const std::string& path)> g_openDocument;

}  // namespace zep::ui
