// zepconv inventory: the command line over the box library (box/box.h),
// a progress line on stderr, each disc's line as it is done, and the total.

#include "cli/inventory_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/files.h"
#include "cli/platform.h"
#include "cli/text.h"
#include "box/box.h"
#include "export/text_output.h"

namespace zep::cli {
namespace {

constexpr std::size_t kLineWidth = 79;

// text cut to at most width terminal columns, at a character's start.
std::string CutToWidth(const std::string& text, std::size_t width) {
  std::size_t columns = 0, at = 0;
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (columns++ == width) break;
  }
  return text.substr(0, at);
}

// One line for the whole box, redrawn in place, at most five times a second.
class ProgressLine {
 public:
  explicit ProgressLine(Console& con) : con_(con) {}
  ~ProgressLine() { Clear(); }
  void Draw(const BoxProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (!con_.progress || now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    char gb[64];
    std::snprintf(gb, sizeof gb, "%.2f of %.2f GB", p.bytesDone / 1e9, p.bytesTotal / 1e9);
    std::string line = "disc " + std::to_string(p.disc + 1) + " of " + std::to_string(p.discs) + "  " + gb;
    if (p.secondsLeft >= 0) line += "  " + ClockText(static_cast<std::int64_t>(p.secondsLeft)) + " left";
    line = CutToWidth(line + "  " + Printable(p.image), kLineWidth);
    const std::size_t width = DisplayWidth(line);
    con_.err << '\r' << line << std::string(width < shown_ ? shown_ - width : 0, ' ') << std::flush;
    shown_ = width;
  }
  void Clear() {
    if (shown_ > 0) con_.err << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
    shown_ = 0;
  }

 private:
  Console& con_;
  std::size_t shown_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

struct Totals {
  StatusFold status;
};

Outcome StatusOf(const InventoryDisc& d) {
  // Nothing read, or nothing found on a disc without its directory.
  if (d.health == Health::kUnreadable || d.health == Health::kNotRead ||
      (d.health == Health::kDirectoryLost && d.records.empty()))
    return kRefused;
  return d.health == Health::kWhole && d.problems.empty() ? kDone : kPartly;
}

void SayDisc(Console& con, const InventoryDisc& d, const std::string& outDir, Totals& totals) {
  const DiscTally tally = TallyOf({d});
  if (!d.mapfile.empty()) con.Note({d.image, "using the mapfile beside it, " + d.mapfile});
  con.out << d.image << " -> " << JoinPath(outDir, d.folder) << ": " << HealthName(d.health) << ", "
          << Counted(static_cast<std::int64_t>(d.records.size()), "record", "records") << ", "
          << Counted(tally.pings, "ping", "pings") << ", " << UnitCounts(tally)
          << (OutputStatus(d) == Outputs::kFailed ? "; outputs failed" : "") << (d.asBefore ? " (as read before)" : "") << '\n'
          << std::flush;
  for (const Problem& p : d.problems) {
    con.Report(p.subject == d.image ? p : Problem{d.image, p.Text(), p.units, p.kind});
  }
  totals.status.Add(StatusOf(d));
}

}  // namespace

Outcome InventoryCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir,
                     const InventoryOptions& options) {
  SetInterruptHint("zepconv: the discs done are kept: run the same command again to go on\n");
  BoxOptions box;
  box.images = images;
  box.outDir = outDir;
  box.resume = options.resume;
  box.reread = options.reread;
  box.netcdf = options.netcdf;
  box.viewer = !options.noViewer;
  box.type = options.type;
  box.jobs = options.jobs;
  ProgressLine line(con);
  Totals totals;
  BoxCallbacks callbacks;
  std::size_t named = images.size();
  callbacks.progress = [&](const BoxProgress& p) {
    // The disc under way, named should the run be stopped while it reads.
    if (p.disc != named) {
      named = p.disc;
      const auto given = std::find(images.begin(), images.end(), p.image);
      SetInterruptSubject(given == images.end() ? nullptr : given->c_str());
    }
    line.Draw(p);
  };
  callbacks.discDone = [&](const InventoryDisc& d) {
    line.Clear();
    SayDisc(con, d, outDir, totals);
  };
  const BoxResult result = MakeInventory(box, callbacks);
  line.Clear();
  SetInterruptHint(nullptr);
  SetInterruptSubject(nullptr);
  bool failed = false;
  for (const Problem& p : result.problems) {
    if (p.severity == Severity::kNote) con.Note(p);
    else con.Report(p), failed = true;
  }
  if (result.indexPath.empty()) return result.discs.empty() ? kRefused : std::max(totals.status.worst, kPartly);
  // The whole box's, discs of earlier runs included.
  const DiscTally total = TallyOf(result.discs);
  con.out << "total: " << Counted(static_cast<std::int64_t>(result.discs.size()), "disc", "discs") << ", "
          << Counted(total.records, "record", "records") << ", " << Counted(total.pings, "ping", "pings") << ", "
          << UnitCounts(total) << " -> " << result.indexPath << '\n';
  if (failed) totals.status.Add(kPartly);
  return totals.status.Status();
}

Outcome MergeCommand(Console& con, const std::vector<std::string>& others, const std::string& outDir) {
  Outcome status = kDone;
  for (const std::string& other : others) {
    BoxCallbacks callbacks;
    callbacks.discDone = [&](const InventoryDisc& d) {
      con.out << JoinPath(other, d.folder) << " -> " << JoinPath(outDir, d.folder) << ": merged\n";
    };
    const BoxResult result = MergeInventory(other, outDir, callbacks);
    for (const Problem& p : result.problems) {
      if (p.severity == Severity::kNote) con.Note(p);
      else con.Report(p), status = std::max(status, p.kind == ProblemKind::kUsage ? kRefused : kPartly);
    }
    if (result.indexPath.empty()) return std::max(status, kPartly);
    con.out << "total: " << Counted(static_cast<std::int64_t>(result.discs.size()), "disc", "discs") << " -> "
            << result.indexPath << '\n';
  }
  return status;
}

Outcome DropCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir) {
  const BoxResult result = DropFromInventory(images, outDir);
  Outcome status = kDone;
  for (const Problem& p : result.problems) {
    if (p.severity == Severity::kNote) con.Note(p);
    else con.Report(p), status = kPartly;
  }
  if (result.indexPath.empty()) return kRefused;
  con.out << "total: " << Counted(static_cast<std::int64_t>(result.discs.size()), "disc", "discs") << " -> "
          << result.indexPath << '\n';
  return status;
}

namespace {

struct InventoryArgs {
  std::vector<std::string> images, merges, drops;
  std::string out, type = "auto";
  InventoryOptions options;
};

// What a run of the inventory does besides its discs, and how.
void AddRunOptions(CLI::App* command, InventoryArgs& a) {
  command->add_flag("--resume", a.options.resume,
                    "Say so when DIR holds no box to go on from (every run goes on with the box in DIR: its discs "
                    "stay, and a disc given again is read again only when its image or a file made of it changed, "
                    "or an output of it failed)");
  command->add_flag("--reread", a.options.reread, "Read every disc given again, even one the box holds as it is");
  command->add_flag("--netcdf", a.options.netcdf, "Also write each record as netCDF");
  command->add_flag("--no-viewer", a.options.noViewer,
                    "Leave out each record's echogram viewer (its page and data scripts)");
  command
      ->add_option("--jobs", a.options.jobs,
                   "Threads: 1 does everything on one, 2 hashes on a second beside the reading and converting, "
                   "and makes the viewers' data beside their writing (the default where there are two "
                   "processors or more); the files are the same bytes either way")
      ->check(CLI::PositiveNumber)
      ->type_name("N");
  command
      ->add_option("--type", a.type,
                   "Take every disc as this type: tk40 (TK40), zep (ZEP V1.X) or auto (each disc's own evidence)")
      ->check(CLI::IsMember({"auto", "tk40", "zep"}))
      ->capture_default_str();
}

}  // namespace

Command AddInventoryCommand(CLI::App& app) {
  auto a = std::make_shared<InventoryArgs>();
  CLI::App* command = app.add_subcommand(
      "inventory",
      "Read a box of discs: check and convert each, with tracks and echograms, into DIR/<image name>; "
      "DIR/inventory.csv, inventory.json, index.html and manifest-sha256.txt");
  CLI::Option* images =
      command->add_option("IMAGE", a->images, "Disc images (or devices), each found with its mapfile beside it");
  CLI::Option* merge = command->add_option(
      "--merge", a->merges,
      "Add the discs of the inventory in OTHER (made on another machine, say) to the one in DIR, reading no image: "
      "each file copied and its hash checked against OTHER's manifest; repeat for more");
  merge->excludes(images)->type_name("OTHER");
  CLI::Option* drop = command->add_option(
      "--drop", a->drops, "Take the disc of this image name out of the inventory in DIR, with its files; repeat for more");
  drop->excludes(images)->excludes(merge)->type_name("NAME");
  command->callback([images, merge, drop] {
    if (images->count() + merge->count() + drop->count() == 0) throw CLI::RequiredError("IMAGE, --merge OTHER or --drop NAME");
  });
  command->add_option("-o,--out", a->out, "Folder for the inventory (created if missing)")->required();
  AddRunOptions(command, *a);
  return {command, [a](Console& con) {
            InventoryOptions options = a->options;
            if (a->type != "auto") options.type = a->type == "zep" ? SourceType::ZepV1 : SourceType::Tk40;
            if (!a->merges.empty()) return MergeCommand(con, a->merges, a->out);
            if (!a->drops.empty()) return DropCommand(con, a->drops, a->out);
            return InventoryCommand(con, a->images, a->out, options);
          }};
}

}  // namespace zep::cli
