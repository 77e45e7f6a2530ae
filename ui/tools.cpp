#include "ui/tools.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "convert/disc_check.h"
#include "operations/records.h"
#include "operations/source.h"
#include "disc/scan.h"
#include "disc/win32_error.h"
#include "export/netcdf.h"
#include "ui/background_job.h"
#include "ui/check_window.h"
#include "ui/commands.h"
#include "ui/conversion.h"
#include "ui/dialogs.h"
#include "ui/inventory_job.h"
#include "ui/inventory_texts.h"
#include "ui/shell_state.h"
#include "ui/wide_paths.h"

namespace zep::ui {
namespace {

// What a job reads: copied from the shell before it starts, so that the
// worker touches nothing the window's thread owns.
struct SourceCopy {
  std::string name;
  VolumeOpener open;
  SourceType type;
};

SourceCopy CopyOfSource() { return {SourceName(), SourceOpener(), g_shell.sourceType}; }

JobFinish ErrorBox(Problem problem) {
  return [problem = std::move(problem)](HWND window) {
    ShowStatusLine("");
    MessageBoxA(window, problem.Text().c_str(), "Error", MB_OK);
  };
}

// The volume, or the box that says why it did not open.
std::unique_ptr<Volume> OpenForJob(const SourceCopy& source, JobFinish& failed) {
  VolumeOpenResult opened = source.open();
  if (!opened.volume) {
    Problem problem = *opened.problem;
    if (problem.subject.empty()) problem.subject = source.name;
    failed = ErrorBox(problem);
  }
  return std::move(opened.volume);
}

JobFinish CheckWork(JobControl& control, const SourceCopy& source) {
  JobFinish failed;
  const std::unique_ptr<Volume> volume = OpenForJob(source, failed);
  if (!volume) return failed;
  auto report = std::make_shared<CheckReport>();
  report->source = source.name;
  report->type = source.type;  // as the program converts it: the Source Type chosen
  report->directoryProblem = ReadRecordDirectory(*volume, report->dir);
  report->evidence = WeighDisc(source.open, report->dir);
  const std::int64_t unit = source.type == SourceType::Tk40 ? kTk40BlockSize : kZepSectorSize;
  const std::string unitName = source.type == SourceType::Tk40 ? " blocks" : " sectors";
  const std::uint64_t total = BytesToCheck(report->dir, source.type, volume->Size());
  report->health = CheckDisc(*volume, report->dir, source.type, [&](std::uint64_t done) {
    control.Step("Read " + std::to_string(done / unit) + " of " + std::to_string(total / unit) + unitName, done,
                 total);
  });
  return [report](HWND window) {
    std::size_t damaged = 0;
    for (const RecordHealth& h : report->health.records) damaged += h.verdict != Verdict::Whole;
    ShowStatusLine("Checked " + std::to_string(report->health.records.size()) + " records: " +
                   std::to_string(damaged) + " not whole");
    ShowCheckWindow(window, *report);
  };
}

// What to look for and what to leave out. A directory that did not read, or
// that nothing tells the type of, gives nothing to leave out and no type to
// trust: both kinds of run are looked for. Otherwise the chosen type, without
// the pings a conversion of the listed records writes.
CarveOptions PlanRecovery(Volume& volume, const SourceCopy& source, const std::string& folder) {
  CarveOptions options;
  options.outDir = folder;
  RecordDirectory dir{};
  const bool unread = ReadRecordDirectory(volume, dir).has_value();
  const DiscKind kind = unread ? DiscKind::Blank : WeighDisc(source.open, dir).kind;
  CarvePlan plan = PlanCarve(volume, dir, {.type = source.type, .kind = kind, .directoryRead = !unread});
  options.type = plan.type;
  options.written = std::move(plan.written);
  return options;
}

JobFinish RecoverWork(JobControl& control, const SourceCopy& source, const std::string& folder) {
  JobFinish failed;
  const std::unique_ptr<Volume> volume = OpenForJob(source, failed);
  if (!volume) return failed;
  CarveOptions options = PlanRecovery(*volume, source, folder);
  const std::uint64_t size = volume->Size() > 0 ? static_cast<std::uint64_t>(volume->Size()) : 0;
  options.progress = [&](std::uint64_t reached) { control.Step("Searched " + MiBText(reached, size), reached, size); };
  const CarveResult result = CarveRuns(*volume, options);
  return [result, folder](HWND window) {
    const std::string summary = RecoverSummary(result, folder);
    ShowStatusLine(summary.substr(0, summary.find('\n')));
    Problems problems = result.failures;
    if (result.readProblem) problems.push_back(*result.readProblem);
    std::string text = summary;
    for (const Problem& p : problems) text += "\n" + p.Text();
    MessageBoxA(window, text.c_str(), result.failures.empty() ? "Recover Lost Records" : "Error",
                MB_OK | (result.failures.empty() ? MB_ICONINFORMATION : 0));
  };
}

// Why the document could not be opened, or empty.
std::string OpenDocument(const std::string& path) {
  if (g_openDocument) return g_openDocument(path);
  const std::wstring wide = WidePath(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;  // the program says it in its own box
  info.lpVerb = L"open";
  info.lpFile = wide.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) ? std::string() : LastErrorReason();
}

std::string DiscsText(const InventoryOutcome& outcome) {
  std::string text;
  for (const InventoryDiscLine& d : outcome.discs) {
    text += "\n" + d.image + ": " + HealthName(d.health);
    for (const Problem& p : d.problems) text += "\n    " + p.Text();
  }
  for (const Problem& p : outcome.problems) text += "\n" + p.Text();
  return text;
}

void ShowInventory(HWND window, const InventoryOutcome& outcome, const std::string& folder) {
  std::vector<Health> healths;
  for (const InventoryDiscLine& d : outcome.discs) healths.push_back(d.health);
  const std::string count = InventoryCountText(healths, folder);
  if (outcome.interrupted) {
    ShowStatusLine("Inventory cancelled: " + count + "; Make Inventory into it again goes on");
    return;
  }
  const bool bad = outcome.indexPath.empty() || !outcome.problems.empty();
  ShowStatusLine((bad ? "Inventory not finished: " : "Inventory of ") + count);
  if (bad) MessageBoxA(window, ("The inventory could not be made whole:" + DiscsText(outcome)).c_str(), "Error", MB_OK);
  if (outcome.indexPath.empty()) return;
  if (const std::string reason = OpenDocument(outcome.indexPath); !reason.empty()) {
    MessageBoxA(window, IndexNotOpenedText(outcome.indexPath, reason).c_str(), "Error", MB_OK);
  }
}

// A path the user chose, as the libraries open it; a box when it has no such form.
std::optional<std::string> PathForJob(HWND window, const std::wstring& path) {
  if (std::optional<std::string> ansi = LibraryPath(path)) return ansi;
  const std::wstring text = L"Cannot use " + NoLibraryPathText(path);
  MessageBoxW(window, text.c_str(), L"Error", MB_OK);
  return std::nullopt;
}

// The images as the box opens them; a box and none when one cannot be.
std::optional<std::vector<std::string>> ImagesForBox(HWND window, const std::vector<std::wstring>& chosen) {
  std::vector<std::string> images;
  for (const std::wstring& image : chosen) {
    const std::optional<std::string> path = PathForJob(window, image);
    if (!path) return std::nullopt;
    // The box looks for each mapfile beside the name it gets: beside a short
    // name it would find none, and read the image without its map.
    if (TakesAnotherForm(image) && !MapfileBeside(image).empty()) {
      const std::wstring text = L"Cannot take " + image + L" into the inventory: its mapfile " + MapfileBeside(image) +
                                L" would not be found under the name the inventory reads it by. Rename both "
                                L"with characters of the system's ANSI code page, or open the image alone.";
      MessageBoxW(window, text.c_str(), L"Error", MB_OK);
      return std::nullopt;
    }
    images.push_back(*path);
  }
  return images;
}

}  // namespace

std::string MiBText(std::uint64_t done, std::uint64_t total) {
  char text[64];
  constexpr double kMiB = 1024.0 * 1024.0;
  std::snprintf(text, sizeof text, "%.1f of %.1f MiB", static_cast<double>(done) / kMiB,
                static_cast<double>(total) / kMiB);
  return text;
}

std::string RecoverSummary(const CarveResult& result, const std::string& folder) {
  std::uint64_t pings = 0;
  for (const CarvedFile& f : result.files) pings += f.pings;
  if (result.runs == 0) return "No runs of ping records found on the disc.";
  std::string text = "Recovered " + std::to_string(result.files.size()) +
                     (result.files.size() == 1 ? " record (" : " records (") + std::to_string(pings) +
                     (pings == 1 ? " ping) into " : " pings) into ") + folder;
  if (result.pingsLeftOut > 0) {
    text += "\n" + std::to_string(result.pingsLeftOut) +
            " pings that a conversion of the listed records writes were left out.";
  }
  if (result.unreadableSectors > 0) text += "\n" + std::to_string(result.unreadableSectors) + " sectors did not read.";
  return text;
}

void CheckCurrentDisc(HWND window) {
  if (!g_shell.sourceOpen) return;
  StartJob(window, "Check Disc", [source = CopyOfSource()](JobControl& control) { return CheckWork(control, source); });
}

void RecoverLostRecords(HWND window) {
  if (!g_shell.sourceOpen) return;
  const std::optional<std::wstring> chosen = BrowseForToolFolder(window, L"Select Folder for the Recovered Records");
  if (!chosen) return;
  const std::optional<std::string> folder = PathForJob(window, *chosen);
  if (!folder) return;
  StartJob(window, "Recover Lost Records", [source = CopyOfSource(), folder = *folder](JobControl& control) {
    return RecoverWork(control, source, folder);
  });
}

namespace {

// Whether the inventory also writes each record as netCDF; nothing when
// cancelled. Not asked where the program has no netCDF.
std::optional<bool> AskNetcdf(HWND window) {
  if (!HaveNetcdf()) return false;
  const int answer = MessageBoxA(window, "Also write each record as a SONAR-netCDF4 file (.nc)?", "Make Inventory",
                                 MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return std::nullopt;
  return answer == IDYES;
}

}  // namespace

void MakeInventoryOfImages(HWND window) {
  const std::vector<std::wstring> chosen = ChooseDiscImages(window);
  if (chosen.empty()) return;
  const std::optional<std::vector<std::string>> images = ImagesForBox(window, chosen);
  if (!images) return;
  const std::optional<std::wstring> folderChosen = BrowseForToolFolder(window, L"Select Folder for the Inventory");
  if (!folderChosen) return;
  const std::optional<std::string> folder = PathForJob(window, *folderChosen);
  if (!folder) return;
  const std::optional<bool> netcdf = AskNetcdf(window);
  if (!netcdf) return;
  const InventoryRequest request{*images, *folder, *netcdf};
  StartJob(window, "Make Inventory", [request](JobControl& control) -> JobFinish {
    const InventoryOutcome outcome = RunInventory(request, control);
    return [outcome, folder = request.outDir](HWND window) { ShowInventory(window, outcome, folder); };
  });
}

}  // namespace zep::ui
