// zepconv's command line. The interface is fixed (scripts depend on it): the
// commands, their options and the exit statuses 0, 1, 2 and 3.

#include <exception>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/conventions.h"
#include "cli/export_app.h"
#include "cli/inventory_command.h"
#include "cli/several_sources.h"

namespace zep::cli {
namespace {

#ifdef _WIN32
constexpr const char* kSourceHelp = "A disc image file, a block device or a drive letter such as E:";
#else
constexpr const char* kSourceHelp = "A disc image file or a block device";
#endif

constexpr const char* kSeveralHelp =
    "Disc images or devices; with more than one, each disc goes into a folder of its own under --out, named "
    "after the image without its extension (-2, -3, ... for a name given twice)";

constexpr const char* kFooter =
    "Exit status: 0 when everything asked for was done; 1 when only part of it was (each problem is named on "
    "stderr), or carve and split found no run of ping records; 2 when nothing was done: a usage error, a source "
    "that cannot be read or holds no record directory, no output that could be written, a file that is not a "
    "record file, a record file given as a disc, a dump area past the end of the volume; 3 for an internal error (a bug "
    "in zepconv); 128 plus the signal's number when interrupted (130 for Ctrl+C).";

// nullopt for auto: the disc's evidence decides.
std::optional<SourceType> TypeOf(const std::string& name) {
  if (name == "auto") return std::nullopt;
  return name == "zep" ? SourceType::ZepV1 : SourceType::Tk40;
}

void AddTypeOption(CLI::App* command, std::string& type) {
  command
      ->add_option("--type", type,
                   "Which recorder wrote the disc: tk40 (TK40), zep (ZEP V1.X) or auto (decided from the disc's "
                   "directory and data, and said on stderr)")
      ->check(CLI::IsMember({"auto", "tk40", "zep"}))
      ->capture_default_str();
}

void AddMapfileOption(CLI::App* command, std::string& mapfile) {
  command->add_option("--mapfile", mapfile,
                      "GNU ddrescue mapfile of SOURCE: units overlapping bytes not marked '+' are unreadable");
}

void AddNoClobberFlag(CLI::App* command, bool& noClobber) {
  command->add_flag("--no-clobber", noClobber, "Keep files that exist already (each is named; exit status 1)");
}

// One source as before, straight into --out; several through
// RunSeveralSources.
int RunSources(Console& con, const std::vector<std::string>& sources, const std::string& outDir,
               const DiscOptions& options, const DiscRun& run) {
  if (sources.size() == 1) return run(con, sources[0], outDir, WithMapfileBeside(con, sources[0], options));
  return RunSeveralSources(con, sources, outDir, options, run);
}

}  // namespace

int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool stderrIsTerminal) {
  CLI::App app("Lists the records of TK40 and ZEP V1.X sonar discs and converts them into .ZEP record files.",
               "zepconv");
  // A SOURCE such as /dev/sdb or an image under / is never an option, on
  // Windows either (where CLI11 would otherwise read "/x" as one).
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.footer(kFooter);
  // --quiet may follow the command as well as precede it.
  app.fallthrough();
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "Draw no progress bar");

  std::string source, type = "auto", outPath;
  std::vector<std::string> recordTexts;
  std::vector<std::string> files, sources;
  bool json = false, all = false;
  DiscOptions discOptions;

  CLI::App* list = app.add_subcommand("list", "List the records of a disc, with the disc's label");
  list->add_option("SOURCE", source, kSourceHelp)->required();
  AddTypeOption(list, type);
  list->add_flag("--json", json, "Print one JSON object: title, label and records");

  CLI::App* convert = app.add_subcommand("convert", "Convert records into .ZEP record files");
  convert->add_option("SOURCE", sources, kSeveralHelp)->required();
  convert->add_option("-o,--out", outPath, "Folder for the record files (created if missing)")->required();
  AddTypeOption(convert, type);
  convert->add_flag("--json", json, "Print one JSON object: the files written and the failures");
  convert
      ->add_option("--record", recordTexts,
                   "Record numbers as listed, 1 to 64: 3, 1-3 or 1-3,5; repeat for more (default: every record)")
      ->check(NumbersIn(1, 64))
      ->delimiter(',')
      ->allow_extra_args(false);

  CLI::App* dump = app.add_subcommand("dump", "Write the scan dump: 5056 pieces of 4096 bytes from byte 39725056");
  dump->add_option("SOURCE", source, kSourceHelp)->required();
  dump->add_option("-o,--out", outPath, "The dump file to write")->required();
  dump->add_flag("--json", json, "Print one JSON object: the dump written and the failures");

  CLI::App* split = app.add_subcommand("split", "Write each run of ping records in a scan dump to a record file");
  split->add_option("DUMP", source, "A scan dump")->required();
  split->add_option("-o,--out", outPath, "Folder for fond0.zep, fond1.zep, ... (created if missing)")->required();
  split->add_flag("--json", json, "Print one JSON object: the files written and the failures");
  split->add_option("--mapfile", discOptions.mapfile,
                    "GNU ddrescue mapfile of DUMP's unread bytes, which are never taken for pings (default: DUMP.map "
                    "when there is one, as zepconv dump writes it)");

  CLI::App* info = app.add_subcommand("info", "Walk record files from ping to ping and say what they hold");
  info->add_option("FILE", files, "Record files")->required();
  info->add_flag("--json", json, "Print a JSON array, one object per file");

  CLI::App* carve = app.add_subcommand(
      "carve", "Write every run of ping records (ZEP V1.X) or of data blocks (TK40) on a disc or a scan dump to a "
               "record file named by its offset");
  carve->add_option("SOURCE", sources, kSeveralHelp)->required();
  carve->add_option("-o,--out", outPath, "Folder for carved-OFFSET.zep files (created if missing)")->required();
  AddTypeOption(carve, type);
  carve->add_flag("--all", all, "Keep the pings that convert writes from the records the directory lists, too");

  CLI::App* domain = app.add_subcommand(
      "domain", "Write a GNU ddrescue domain mapfile (ddrescue -m) of the bytes a conversion reads: the record "
                "directory, the records' units and the scan dump area");
  domain->add_option("SOURCE", source, kSourceHelp)->required();
  domain->add_option("-o,--out", outPath, "The mapfile to write")->required();
  AddTypeOption(domain, type);
  domain
      ->add_option("--record", recordTexts,
                   "Record numbers as listed, 1 to 64: 3, 1-3 or 1-3,5; repeat for more (default: every record)")
      ->check(NumbersIn(1, 64))
      ->delimiter(',')
      ->allow_extra_args(false);

  CLI::App* check = app.add_subcommand("check", "Read the whole disc once and say what of it is whole and what is lost");
  check->add_option("SOURCE", sources, kSeveralHelp)->required();
  AddTypeOption(check, type);
  check->add_flag("--json", json, "Print one JSON object");

  for (CLI::App* command : {list, convert, dump, carve, check, domain}) AddMapfileOption(command, discOptions.mapfile);
  for (CLI::App* command : {convert, dump, split, carve, domain}) AddNoClobberFlag(command, discOptions.noClobber);
  for (CLI::App* command : {list, convert, dump, split, info, carve, check, domain}) command->footer(kFooter);
  const ExportCommands exports(app, kFooter);  // pings, track, echogram, netcdf
  const InventoryCommandLine inventory(app, kFooter);

  AddConventions(app, out);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help is asked for and succeeds; every other parse error is a usage error.
    return app.exit(e, out, err) == 0 ? kDone : kRefused;
  }

  Console con{out, err, stderrIsTerminal && !quiet, json, {}};
  const auto run = [&]() -> int {
    if (*list) return ListCommand(con, source, TypeOf(type), json, WithMapfileBeside(con, source, discOptions));
    if ((*convert || *carve || *check) && sources.size() > 1 && !discOptions.mapfile.empty()) {
      con.Report("--mapfile", "names one image's map; with several sources each image's map is found beside it "
                              "(IMAGE.map, IMAGE.mapfile, STEM.map or STEM.mapfile)");
      return kRefused;
    }
    if (*convert) {
      return RunSources(con, sources, outPath, discOptions,
                        [&](Console& c, const std::string& s, const std::string& dir, const DiscOptions& o) {
                          return ConvertCommand(c, s, TypeOf(type), dir, ExpandRanges(recordTexts), o);
                        });
    }
    if (*dump) return DumpCommand(con, source, outPath, WithMapfileBeside(con, source, discOptions));
    if (*domain) {
      return DomainCommand(con, source, TypeOf(type), outPath, ExpandRanges(recordTexts),
                           WithMapfileBeside(con, source, discOptions));
    }
    if (*split) return SplitCommand(con, source, outPath, discOptions);
    if (*info) return InfoCommand(con, files, json);
    if (*carve) {
      return RunSources(con, sources, outPath, discOptions,
                        [&](Console& c, const std::string& s, const std::string& dir, const DiscOptions& o) {
                          return CarveCommand(c, s, TypeOf(type), dir, all, o);
                        });
    }
    if (*check) {
      return RunSources(con, sources, "", discOptions,
                        [&](Console& c, const std::string& s, const std::string&, const DiscOptions& o) {
                          return CheckCommand(c, s, TypeOf(type), json, o);
                        });
    }
    if (const auto status = inventory.Run(con)) return *status;
    if (const auto status = exports.Run(con)) return *status;
    return kRefused;
  };
  return con.Run(run);
}

}  // namespace zep::cli
