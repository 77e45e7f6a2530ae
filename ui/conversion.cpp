#include "ui/conversion.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "convert/convert.h"
#include "operations/convert_records.h"
#include "operations/records.h"
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

// The source opened once for the whole run, on the first record that needs
// it: every record reads it through, and a bad unit the drive failed on is
// not asked for again by the next record.
struct RunSource {
  std::optional<VolumeOpenResult> opened;
  Volume* Get() {
    if (!opened) opened = SourceOpener()();
    return opened->volume.get();
  }
  Problem Why() const {
    return opened->problem.value_or(Problem{"", "the volume could not be opened", 0, ProblemKind::kUnreadable});
  }
};

// Converts one record to folder\fileName; a failure or an incomplete file
// comes back as the line for the run's error box.
std::optional<RecordFailure> ConvertToFile(RunSource& source, const std::string& folder, const std::string& fileName,
                                          int slot, const std::string& name) {
  std::string subject = RecordSubject(slot + 1, name);
  const std::optional<std::string> path = JoinOutputPath(folder, fileName);
  if (!path) return PathTooLong(folder, fileName, std::move(subject));
  Volume* volume = source.Get();
  if (!volume) {
    return FailureOf({.status = ConvertStatus::VolumeFailed, .problems = {source.Why()}}, std::move(subject));
  }
  const RecordConversion c =
      ConvertOpenRecord(*volume, g_shell.sourceType, g_shell.directory, slot, *path, ProgressBarProgress(slot));
  return FailureOf(c.result, std::move(subject));
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

namespace {

// The selected rows' records, chosen as every face chooses records by number:
// a row whose record the directory does not list refuses the run.
RecordChoice SelectedRecords() {
  std::vector<int> numbers;
  for (int row = 0; row < kSelectionRows; ++row) {
    if (!g_shell.selection[static_cast<std::size_t>(row)]) continue;
    if (const std::optional<int> slot = RowSlot(row)) numbers.push_back(*slot + 1);
  }
  // No number chooses every record: with no row selected there is nothing to convert.
  if (numbers.empty()) return {};
  return ChooseRecords(SourceName(), g_shell.directory, numbers);
}

}  // namespace

void ConvertSelectedRecords(HWND window) {
  if (!ConfirmSourceType(window)) return;
  // Without a folder there is nowhere safe to write: the run converts nothing.
  const std::optional<std::string> folder = BrowseForOutputFolder(window, "Select Output Folder");
  if (!folder) return;
  const RecordChoice choice = SelectedRecords();
  if (choice.problem) {
    MessageBoxA(window, choice.problem->Text().c_str(), "Error", MB_OK);
    return;
  }
  ShowStatusLine("");  // the status text and the progress bar need the two parts

  RunFileNames fileNames;
  RunSource source;
  std::vector<RecordFailure> failures;
  for (const int slot : choice.slots) {  // slot order, which is the list's order
    // The list shows the name as read; the file gets a safe, distinct one.
    const std::string name = RecordName(g_shell.directory, slot, g_shell.sourceType);
    SetStatusText(ConvertingText(name));
    if (auto failure = ConvertToFile(source, *folder, fileNames.Next(name, slot + 1), slot, name)) {
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
