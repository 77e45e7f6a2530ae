#include "ui/conversion.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "convert/convert.h"
#include "disc/record_names.h"
#include "ui/commands.h"
#include "ui/run_texts.h"
#include "ui/shell_state.h"
#include "ui/wide_paths.h"

namespace zep::ui {
namespace {

void SetStatusText(const std::string& text) {
  SendMessageA(g_shell.statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The slot a list row carries; empty when the row no longer exists.
std::optional<int> RowSlot(int row) {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(g_shell.recordList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return std::nullopt;
  return static_cast<int>(item.lParam);
}

// The converter gives the low 16 bits of the unit count, which wraps the bar
// on a record of 65536 units or more: the range is the record's whole count.
Progress ProgressBarProgress(int slot) {
  const HWND bar = g_shell.progressBar;
  const std::int32_t units = std::max(ExtentOf(g_shell.directory, slot, g_shell.sourceType).count32, 0);
  return Progress{
      .setRange = [bar, units](std::uint16_t) { SendMessageA(bar, PBM_SETRANGE32, 0, units); },
      .setPos = [bar](std::int32_t position) { SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0); },
  };
}

// Converts one record to folder\fileName; a failure or an incomplete file
// comes back as the line for the run's error box.
std::optional<RecordFailure> ConvertToFile(const std::string& folder, const std::string& fileName, int slot,
                                          const std::string& name) {
  RecordFailure failure;
  failure.problem.subject = RecordSubject(slot + 1, name);
  const std::optional<std::string> path = JoinOutputPath(folder, fileName);
  if (!path) {
    failure.problem.what = "the output path " + folder + "\\" + fileName + " is longer than " +
                     std::to_string(kMaxPathLength) + " characters";
    return failure;
  }
  const VolumeOpener open = SourceOpener();
  const ConvertResult result =
      ConvertRecord(g_shell.sourceType, *path, g_shell.directory, slot, open, ProgressBarProgress(slot));
  if (result.status == ConvertStatus::Done) return std::nullopt;
  failure.incomplete = result.status == ConvertStatus::Incomplete;
  failure.problem.what = JoinedText(result.problems);
  failure.problem.units = result.failedUnits + result.beyondEndUnits + result.skippedUnits;
  return failure;
}

// A type the disc's own evidence rules out turns every record into junk: the
// user says so first. No, the default, writes nothing.
bool ConfirmSourceType(HWND window) {
  if (!g_shell.discEvidence || !g_shell.discEvidence->RulesOut(g_shell.sourceType)) return true;
  return MessageBoxA(window, WrongTypeQuestion(g_shell.sourceType).c_str(), "Convert Records to ZEP",
                     MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

}  // namespace

std::optional<std::string> BrowseForOutputFolder(HWND owner, const char* instruction) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return std::nullopt;
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.lpszTitle = instruction;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  std::optional<std::string> folder;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info)) {
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(item, path) && path[0] != '\0') folder = path;
    allocator->Free(item);
  }
  allocator->Release();
  return folder;
}

std::optional<std::wstring> BrowseForToolFolder(HWND owner, const wchar_t* instruction) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = instruction;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  std::optional<std::wstring> folder;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
    std::wstring path(kLongPathChars, L'\0');
    if (SHGetPathFromIDListEx(item, path.data(), kLongPathChars, GPFIDL_DEFAULT) && path[0] != L'\0') {
      folder = path.c_str();
    }
    CoTaskMemFree(item);
  }
  return folder;
}

void ConvertSelectedRecords(HWND window) {
  if (!ConfirmSourceType(window)) return;
  // Without a folder there is nowhere safe to write: the run converts nothing.
  const std::optional<std::string> folder = BrowseForOutputFolder(window, "Select Output Folder");
  if (!folder) return;
  ShowStatusLine("");  // the status text and the progress bar need the two parts

  RunFileNames fileNames;
  std::vector<RecordFailure> failures;
  for (int row = 0; row < kSelectionRows; ++row) {
    if (!g_shell.selection[static_cast<std::size_t>(row)]) continue;
    const std::optional<int> slot = RowSlot(row);
    if (!slot) continue;
    // The list shows the name as read; the file gets a safe, distinct one.
    const std::string name = RecordName(g_shell.directory, *slot, g_shell.sourceType);
    SetStatusText(ConvertingText(name));
    if (auto failure = ConvertToFile(*folder, fileNames.Next(name, *slot + 1), *slot, name)) {
      failures.push_back(std::move(*failure));
    }
    SetStatusText("");
    SendMessageA(g_shell.progressBar, PBM_SETPOS, 0, 0);
  }
  ShowSourceStatus();
  if (!failures.empty()) MessageBoxA(window, ConversionFailureText(failures).c_str(), "Error", MB_OK);
}

void SplitLastScanDump(HWND window) {
  const SplitResult split = SplitScanDump(kScanDumpPath, kSplitOutputPattern);
  if (!split.failures.empty()) MessageBoxA(window, SplitFailureText(split.failures).c_str(), "Error", MB_OK);
}

}  // namespace zep::ui
