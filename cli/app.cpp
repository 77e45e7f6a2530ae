// zepconv's command line. The interface is fixed (scripts depend on it): the
// commands, their options and the exit statuses 0, 1, 2 and 3.

#include <algorithm>
#include <exception>
#include <memory>
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
#include "operations/records.h"

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

// What the disc commands' options are read into; each command has its own.
struct DiscArgs {
  std::string source, type = "auto", out;
  std::vector<std::string> sources, records;
  bool json = false, all = false;
  DiscOptions options;
};
using Args = std::shared_ptr<DiscArgs>;

// nullopt for auto: the disc's evidence decides.
std::optional<SourceType> TypeOf(const std::string& name) {
  if (name == "auto") return std::nullopt;
  return name == "zep" ? SourceType::ZepV1 : SourceType::Tk40;
}

void AddSourceOption(CLI::App* command, std::string& source) {
  command->add_option("SOURCE", source, kSourceHelp)->required();
}

void AddSeveralOption(CLI::App* command, std::vector<std::string>& sources) {
  command->add_option("SOURCE", sources, kSeveralHelp)->required();
}

void AddTypeOption(CLI::App* command, std::string& type, bool& force) {
  command
      ->add_option("--type", type,
                   "Which recorder wrote the disc: tk40 (TK40), zep (ZEP V1.X) or auto (decided from the disc's "
                   "directory and data, and said on stderr)")
      ->check(CLI::IsMember({"auto", "tk40", "zep"}))
      ->capture_default_str();
  command->add_flag("--force-type", force,
                    "Read the disc as --type says even when no slot of its directory fits that type (its records "
                    "then come out as junk)");
}

void AddRecordOption(CLI::App* command, std::vector<std::string>& records) {
  command
      ->add_option("--record", records,
                   "Record numbers as listed, 1 to 64: 3, 1-3 or 1-3,5; repeat for more (default: every record)")
      ->check(NumbersIn(1, 64))
      ->delimiter(',')
      ->allow_extra_args(false);
}

void AddMapfileOption(CLI::App* command, std::string& mapfile) {
  command->add_option("--mapfile", mapfile,
                      "GNU ddrescue mapfile of SOURCE: units overlapping bytes not marked '+' are unreadable");
}

void AddNoClobberFlag(CLI::App* command, bool& noClobber) {
  command->add_flag("--no-clobber", noClobber, "Keep files that exist already (each is named; exit status 1)");
}

// One source as before, straight into --out; several through
// RunSeveralSources, each with the mapfile beside it.
Outcome RunSources(Console& con, const DiscArgs& a, const std::string& outDir, const DiscRun& run) {
  if (a.sources.size() == 1) return run(con, a.sources[0], outDir, WithMapfileBeside(con, a.sources[0], a.options));
  if (!a.options.mapfile.empty()) {
    con.Report({"--mapfile",
                "names one image's map; with several sources each image's map is found beside it "
                "(IMAGE.map, IMAGE.mapfile, STEM.map or STEM.mapfile)",
                0, ProblemKind::kUsage});
    return kRefused;
  }
  return RunSeveralSources(con, a.sources, outDir, a.options, run);
}

Command AddListCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* list = app.add_subcommand("list", "List the records of a disc, with the disc's label");
  AddSourceOption(list, a->source);
  AddTypeOption(list, a->type, a->options.forceType);
  list->add_flag("--json", a->json, "Print one JSON object: title, label and records");
  AddMapfileOption(list, a->options.mapfile);
  return {list,
          [a](Console& con) {
            return ListCommand(con, a->source, TypeOf(a->type), a->json, WithMapfileBeside(con, a->source, a->options));
          },
          &a->json};
}

Command AddConvertCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* convert = app.add_subcommand("convert", "Convert records into .ZEP record files");
  AddSeveralOption(convert, a->sources);
  convert->add_option("-o,--out", a->out, "Folder for the record files (created if missing)")->required();
  AddTypeOption(convert, a->type, a->options.forceType);
  convert->add_flag("--json", a->json, "Print one JSON object: the files written and the failures");
  AddRecordOption(convert, a->records);
  AddMapfileOption(convert, a->options.mapfile);
  AddNoClobberFlag(convert, a->options.noClobber);
  return {convert,
          [a](Console& con) {
            return RunSources(con, *a, a->out,
                              [&](Console& c, const std::string& s, const std::string& dir, const DiscOptions& o) {
                                return ConvertCommand(c, s, TypeOf(a->type), dir, ExpandRanges(a->records), o);
                              });
          },
          &a->json};
}

Command AddDumpCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* dump = app.add_subcommand("dump", "Write the scan dump: 5056 pieces of 4096 bytes from byte 39725056");
  AddSourceOption(dump, a->source);
  dump->add_option("-o,--out", a->out, "The dump file to write")->required();
  dump->add_flag("--json", a->json, "Print one JSON object: the dump written and the failures");
  AddMapfileOption(dump, a->options.mapfile);
  AddNoClobberFlag(dump, a->options.noClobber);
  return {dump,
          [a](Console& con) {
            return DumpCommand(con, a->source, a->out, WithMapfileBeside(con, a->source, a->options));
          },
          &a->json};
}

Command AddSplitCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* split = app.add_subcommand("split", "Write each run of ping records in a scan dump to a record file");
  split->add_option("DUMP", a->source, "A scan dump")->required();
  split->add_option("-o,--out", a->out, "Folder for fond0.zep, fond1.zep, ... (created if missing)")->required();
  split->add_flag("--json", a->json, "Print one JSON object: the files written and the failures");
  split->add_option("--mapfile", a->options.mapfile,
                    "GNU ddrescue mapfile of DUMP's unread bytes, which are never taken for pings (default: DUMP.map "
                    "when there is one, as zepconv dump writes it)");
  AddNoClobberFlag(split, a->options.noClobber);
  return {split, [a](Console& con) { return SplitCommand(con, a->source, a->out, a->options); }, &a->json};
}

Command AddInfoCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* info = app.add_subcommand("info", "Walk record files from ping to ping and say what they hold");
  info->add_option("FILE", a->sources, "Record files")->required();
  info->add_flag("--json", a->json, "Print a JSON array, one object per file");
  return {info, [a](Console& con) { return InfoCommand(con, a->sources, a->json); }, &a->json};
}

Command AddCarveCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* carve = app.add_subcommand(
      "carve", "Write every run of ping records (ZEP V1.X) or of data blocks (TK40) on a disc or a scan dump to a "
               "record file named by its offset");
  AddSeveralOption(carve, a->sources);
  carve->add_option("-o,--out", a->out, "Folder for carved-OFFSET.zep files (created if missing)")->required();
  AddTypeOption(carve, a->type, a->options.forceType);
  carve->add_flag("--all", a->all, "Keep the pings that convert writes from the records the directory lists, too");
  AddMapfileOption(carve, a->options.mapfile);
  AddNoClobberFlag(carve, a->options.noClobber);
  return {carve, [a](Console& con) {
            return RunSources(con, *a, a->out,
                              [&](Console& c, const std::string& s, const std::string& dir, const DiscOptions& o) {
                                return CarveCommand(c, s, TypeOf(a->type), dir, a->all, o);
                              });
          }};
}

Command AddDomainCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* domain = app.add_subcommand(
      "domain", "Write a GNU ddrescue domain mapfile (ddrescue -m) of the bytes a conversion reads: the record "
                "directory, the records' units and the scan dump area");
  AddSourceOption(domain, a->source);
  domain->add_option("-o,--out", a->out, "The mapfile to write")->required();
  AddTypeOption(domain, a->type, a->options.forceType);
  AddRecordOption(domain, a->records);
  AddMapfileOption(domain, a->options.mapfile);
  AddNoClobberFlag(domain, a->options.noClobber);
  return {domain, [a](Console& con) {
            return DomainCommand(con, a->source, TypeOf(a->type), a->out, ExpandRanges(a->records),
                                 WithMapfileBeside(con, a->source, a->options));
          }};
}

Command AddCheckCommand(CLI::App& app) {
  auto a = std::make_shared<DiscArgs>();
  CLI::App* check =
      app.add_subcommand("check", "Read the whole disc once and say what of it is whole and what is lost");
  AddSeveralOption(check, a->sources);
  AddTypeOption(check, a->type, a->options.forceType);
  check->add_flag("--json", a->json, "Print one JSON object");
  AddMapfileOption(check, a->options.mapfile);
  return {check,
          [a](Console& con) {
            return RunSources(con, *a, "",
                              [&](Console& c, const std::string& s, const std::string&, const DiscOptions& o) {
                                return CheckCommand(c, s, TypeOf(a->type), a->json, o);
                              });
          },
          &a->json};
}

}  // namespace

Outcome Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool stderrIsTerminal) {
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
  const std::vector<Command> commands = {
      AddListCommand(app),     AddConvertCommand(app), AddDumpCommand(app),  AddSplitCommand(app),
      AddInfoCommand(app),     AddCarveCommand(app),   AddDomainCommand(app), AddCheckCommand(app),
      AddPingsCommand(app),    AddTrackCommand(app),   AddEchogramCommand(app), AddNetcdfCommand(app),
      AddInventoryCommand(app)};
  for (const Command& command : commands) command.line->footer(kFooter);
  AddConventions(app, out);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help is asked for and succeeds; every other parse error is a usage error.
    return app.exit(e, out, err) == 0 ? kDone : kRefused;
  }
  const auto given = std::find_if(commands.begin(), commands.end(), [](const Command& c) { return bool(*c.line); });
  if (given == commands.end()) return kRefused;
  Console con{out, err, stderrIsTerminal && !quiet, given->json && *given->json, {}};
  return con.Run([&] { return given->run(con); });
}

}  // namespace zep::cli
