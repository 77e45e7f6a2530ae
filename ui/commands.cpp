#include "ui/commands.h"

#include <commctrl.h>

#include "disc/disc_source.h"
#include "disc/scan.h"
#include "operations/disc_words.h"
#include "operations/source.h"
#include "res/resource.h"
#include "ui/background_job.h"
#include "ui/conversion.h"
#include "ui/dialogs.h"
#include "ui/run_texts.h"
#include "ui/shell_state.h"
#include "ui/tools.h"
#include "ui/wide_paths.h"

namespace zep::ui {
namespace {

void FillList(HWND list, const std::vector<ListRow>& rows) {
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ListRow& row = rows[static_cast<std::size_t>(i)];
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = i;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(row.cells[0].c_str());
    item.lParam = row.slot;  // rows map back to slots only through this
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub < static_cast<int>(row.cells.size()); ++sub) {
      LVITEMA cell{};
      cell.mask = LVIF_TEXT;
      cell.iItem = i;
      cell.iSubItem = sub;
      cell.pszText = const_cast<char*>(row.cells[static_cast<std::size_t>(sub)].c_str());
      SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
    }
  }
}

}  // namespace

void RecomputeSelectionFlags() {
  const LRESULT count = SendMessageA(g_shell.recordList, LVM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < kSelectionRows; ++i) {
    const bool selected =
        i < count && SendMessageA(g_shell.recordList, LVM_GETITEMSTATE, i, LVIS_SELECTED) == LVIS_SELECTED;
    g_shell.selection[static_cast<std::size_t>(i)] = selected ? 1 : 0;
  }
}

void RefreshSelectionTable() {
  RecomputeSelectionFlags();
  SendMessageA(g_shell.progressBar, PBM_SETPOS, 0, 0);
}

LRESULT OnNotify(const NMHDR* header) {
  if (header->code == LVN_ITEMCHANGED) RefreshSelectionTable();
  return 0;
}

void UpdateMenuState(HMENU popup) {
  const MenuState state =
      ComputeMenuState(g_shell.selection, g_shell.sourceType, {.sourceOpen = g_shell.sourceOpen, .jobRunning = JobRunning()});
  // By command: in a popup without these items the calls change nothing.
  const auto enable = [popup](UINT id, bool enabled) {
    EnableMenuItem(popup, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  };
  enable(IDM_CONVERT, state.convertEnabled);
  for (UINT id : {IDM_SELECT_DRIVE, IDM_OPEN_IMAGE, IDM_CONTENTS}) enable(id, state.sourceCommandsEnabled);
  enable(IDM_CHECK_DISC, state.checkEnabled);
  enable(IDM_RECOVER_RECORDS, state.recoverEnabled);
  enable(IDM_MAKE_INVENTORY, state.inventoryEnabled);
  CheckMenuRadioItem(popup, IDM_SOURCE_TK40, IDM_SOURCE_ZEPV1, state.checkedSourceItem, MF_BYCOMMAND);
}

void ShowStatusLine(const std::string& text) {
  // The line is longer than the first part: it takes the whole bar, and the
  // idle progress bar gives way to it until a run needs the parts again.
  SendMessageA(g_shell.statusBar, SB_SIMPLE, !text.empty(), 0);
  ShowWindow(g_shell.progressBar, text.empty() ? SW_SHOW : SW_HIDE);
  if (!text.empty()) SendMessageA(g_shell.statusBar, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void ShowSourceStatus() {
  const std::optional<SourceType> looksLike = g_shell.discEvidence ? g_shell.discEvidence->type() : std::nullopt;
  ShowStatusLine(SourceStatusText(g_shell.mapfile, looksLike, g_shell.sourceType, g_shell.directoryLost));
}

namespace {

// Weighs the directory just read against both recorders. A file is refused
// when it cannot be a disc: too short for a record directory, or with one
// that fits neither recorder, whose rows and dump would be noise.
DirectoryCheck WeighTheDisc(std::string imagePath) {
  return [imagePath = std::move(imagePath)](Volume& volume, const RecordDirectory& dir) -> std::optional<Problem> {
    g_shell.discEvidence = WeighOpenDisc(volume, dir);
    if (imagePath.empty()) return std::nullopt;
    if (std::optional<Problem> refused = RefusedAsDisc(volume, imagePath)) return refused;
    const SettledType settled = SettleType(imagePath, *g_shell.discEvidence, {});
    if (settled.refused) return Problem{"", imagePath + " is " + settled.said.what, 0, settled.said.kind};
    return std::nullopt;
  };
}

// driveLetter is the drive scanned, when no image was.
void ShowScan(HWND window, const ScanResult& scan, char driveLetter) {
  g_shell.sourceOpen = scan.outcome == ScanOutcome::DiscRead;
  const std::vector<ListRow> rows =
      g_shell.sourceOpen ? BuildListRows(g_shell.directory, g_shell.sourceType) : std::vector<ListRow>{};
  // The drive's scan stays as it always was: the hint is for images only.
  g_shell.directoryLost = scan.outcome == ScanOutcome::DiscRead && rows.empty() && !g_shell.imagePath.empty();
  if (scan.outcome != ScanOutcome::DiscRead) {
    g_shell.discEvidence.reset();
    g_shell.mapfile.clear();
  }
  if (const std::string text = ScanErrorText(scan, driveLetter, g_shell.imagePath); !text.empty()) {
    MessageBoxA(window, text.c_str(), "Error", MB_OK);
  }
  FillList(g_shell.recordList, rows);
  // A drive that holds no MO disc leaves the title as it was.
  if (scan.outcome == ScanOutcome::DiscRead) SetWindowTextA(window, BuildTitle(g_shell.directory, g_shell.sourceType).c_str());
  else if (scan.outcome != ScanOutcome::NotMoDisc) SetWindowTextA(window, kTitleBase);
  // The list does not always report its clearing and refilling; flags left
  // from the earlier rows would convert records nobody selected.
  RecomputeSelectionFlags();
  ShowSourceStatus();
}

// Starts a scan: the list is empty from here on, whatever comes next.
void StartScan() {
  SendMessageA(g_shell.recordList, LVM_DELETEALLITEMS, 0, 0);
  g_shell.discEvidence.reset();
  g_shell.directoryLost = false;
  g_shell.imagePath.clear();
  g_shell.mapfile.clear();
  g_shell.imageOpener = nullptr;
  g_shell.sourceOpen = false;
  g_shell.failedReads = std::make_shared<FailedReads>();  // a new source: nothing known of it
}

}  // namespace

void ScanDriveIntoList(HWND window, char driveLetter) {
  StartScan();
  ShowScan(window, ScanDisc(DriveOpener(driveLetter), g_shell.directory, kScanDumpPath,
                            WeighTheDisc("")),
           driveLetter);
}

void ScanImageIntoList(HWND window, const std::string& imagePath, const std::string& mapfile) {
  StartScan();
  g_shell.imagePath = imagePath;
  DiscSourceOptions options;
  options.failedReads = g_shell.failedReads;
  options.mapfile = mapfile;
  DiscSourceOpen prepared = PrepareDiscSource(imagePath, options);
  if (!prepared.disc) {
    // Read without its map, the zeros ddrescue left would pass for the disc's data.
    ScanResult refused;
    refused.problem = std::move(prepared.problem);
    return ShowScan(window, refused, g_shell.driveLetter);
  }
  g_shell.mapfile = prepared.disc->mapfile;
  g_shell.imageOpener = prepared.disc->opener;
  ShowScan(window, ScanDiscImage(SourceOpener(), g_shell.directory, kScanDumpPath,
                                 WeighTheDisc(imagePath)),
           g_shell.driveLetter);
}

void ScanImageIntoList(HWND window, const std::wstring& imagePath) {
  const std::optional<std::string> path = LibraryPath(imagePath);
  // Beside a short name the reader finds no mapfile: the one beside the
  // image's own name is handed to it, in a form it opens.
  std::optional<std::string> mapfile = std::string();
  if (path && TakesAnotherForm(imagePath)) {
    if (const std::wstring beside = MapfileBeside(imagePath); !beside.empty()) mapfile = LibraryPath(beside);
  }
  if (path && mapfile) return ScanImageIntoList(window, *path, *mapfile);
  StartScan();
  SetWindowTextA(window, kTitleBase);
  RecomputeSelectionFlags();
  ShowSourceStatus();
  const std::wstring text = L"Cannot open the disc image " + imagePath + L" or its mapfile:\n" +
                            NoLibraryPathText(path ? MapfileBeside(imagePath) : imagePath);
  MessageBoxW(window, text.c_str(), L"Error", MB_OK);
}

void SelectDriveAndScan(HWND window) {
  g_shell.driveLetter = static_cast<char>(ChooseDrive(window) & 0xFF);
  ScanDriveIntoList(window, g_shell.driveLetter);
}

void OpenImageAndScan(HWND window) {
  if (const std::optional<std::wstring> path = ChooseDiscImage(window)) ScanImageIntoList(window, *path);
}

// While a job reads the source on the worker thread, nothing else may read
// it, replace it or write where the job writes.
bool RefusedWhileJobRuns(int commandId) {
  switch (commandId) {
    case IDM_CONVERT:
    case IDM_SELECT_DRIVE:
    case IDM_OPEN_IMAGE:
    case IDM_CONTENTS:
    case IDM_CHECK_DISC:
    case IDM_RECOVER_RECORDS:
    case IDM_MAKE_INVENTORY:
      return JobRunning();
    default:
      return false;
  }
}

bool OnCommand(HWND window, int commandId) {
  if (RefusedWhileJobRuns(commandId)) return true;
  switch (commandId) {
    case IDM_ABOUT:
      ShowAboutBox(window);
      return true;
    case IDM_EXIT:
      DestroyWindow(window);
      return true;
    case IDM_CONVERT:
      ConvertSelectedRecords(window);
      return true;
    case IDM_SELECT_DRIVE:
      SelectDriveAndScan(window);
      return true;
    case IDM_OPEN_IMAGE:
      OpenImageAndScan(window);
      return true;
    case IDM_CONTENTS:
      SplitLastScanDump(window);
      return true;
    case IDM_CHECK_DISC:
      CheckCurrentDisc(window);
      return true;
    case IDM_RECOVER_RECORDS:
      RecoverLostRecords(window);
      return true;
    case IDM_MAKE_INVENTORY:
      MakeInventoryOfImages(window);
      return true;
    case IDM_SOURCE_TK40:
      g_shell.sourceType = SourceType::Tk40;  // the list keeps what the last scan read
      ShowSourceStatus();
      return true;
    case IDM_SOURCE_ZEPV1:
      g_shell.sourceType = SourceType::ZepV1;
      ShowSourceStatus();
      return true;
    default:
      return false;
  }
}

}  // namespace zep::ui
