// The command lines of pings, track, echogram and netcdf.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/conventions.h"
#include "cli/export_app.h"
#include "export/exports.h"
#include "export/netcdf.h"
#include "export/text_output.h"

namespace zep::cli {
namespace {

CLI::Option* AddFiles(CLI::App* command, std::vector<std::string>& files, const char* help) {
  return command->add_option("FILE", files, help)->required();
}

// --fit WIDTHxHEIGHT, each 1 to 16384.
std::optional<Fit> ParseFit(const std::string& text) {
  int w = 0, h = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w <= 0 ||
      h <= 0 || w > 16384 || h > 16384) {
    return std::nullopt;
  }
  Fit fit;
  fit.width = w;
  fit.height = h;
  return fit;
}

}  // namespace

Command AddPingsCommand(CLI::App& app) {
  struct Args {
    std::vector<std::string> files;
    std::string format = "csv", out;
  };
  auto a = std::make_shared<Args>();
  CLI::App* pings = app.add_subcommand("pings", "Write one row per ping of record files: header fields and GPS text");
  AddFiles(pings, a->files, "Record files");
  pings->add_option("--format", a->format, "csv or jsonl (one JSON object per line)")
      ->check(CLI::IsMember({"csv", "jsonl"}))
      ->capture_default_str();
  pings->add_option("-o,--out", a->out, "File to write (default: standard output)");
  return {pings, [a](Console& con) { return WritePingTable(con, a->files, a->format == "jsonl", a->out); }};
}

Command AddTrackCommand(CLI::App& app) {
  struct Args {
    std::vector<std::string> files;
    std::string format, out;
    double gap = 60;
  };
  auto a = std::make_shared<Args>();
  CLI::App* track = app.add_subcommand("track", "Write the GPS track of record files");
  AddFiles(track, a->files, "Record files");
  track->add_option("--format", a->format, "gpx, geojson, kml or csv")
      ->check(CLI::IsMember({"gpx", "geojson", "kml", "csv"}))
      ->required();
  track->add_option("-o,--out", a->out, "File to write (default: standard output)");
  track->add_option("--gap", a->gap, "Start a new segment after a time gap of more than this many seconds")
      ->check(NumberAbove(0, "seconds"))
      ->capture_default_str();
  return {track, [a](Console& con) {
            const TrackFormat format = a->format == "gpx"       ? TrackFormat::kGpx
                                       : a->format == "geojson" ? TrackFormat::kGeoJson
                                       : a->format == "kml"     ? TrackFormat::kKml
                                                                : TrackFormat::kCsv;
            return WriteTrack(con, a->files, format, a->out, a->gap);
          }};
}

Command AddEchogramCommand(CLI::App& app) {
  struct Args {
    std::vector<std::string> files;
    std::string out, fit, palette = "grey";
    int pingsPerImage = 2048;
  };
  auto a = std::make_shared<Args>();
  CLI::App* echogram = app.add_subcommand("echogram", "Draw a record file's pings as PNG images, one column per ping");
  AddFiles(echogram, a->files, "A record file")->expected(1);
  echogram->add_option("-o,--out", a->out, "The PNG to write; long records give OUT_0000.png, OUT_0001.png, ...")
      ->required();
  echogram->add_option("--pings-per-image", a->pingsPerImage, "Columns per image at most")
      ->check(NumberIn(1, 16384))
      ->capture_default_str();
  echogram->add_option("--fit", a->fit, "One thumbnail of at most WIDTHxHEIGHT pixels, each the strongest sample of "
                                       "its block (a block with a missing ping is transparent)")
      ->check([](const std::string& v) {
        return ParseFit(v) ? std::string() : std::string("--fit takes WIDTHxHEIGHT, such as 1024x256");
      });
  echogram->add_option("--palette", a->palette, "grey (the sample values themselves) or viridis")
      ->check(CLI::IsMember({"grey", "viridis"}))
      ->capture_default_str();
  return {echogram, [a](Console& con) {
            const std::optional<Fit> fit = a->fit.empty() ? std::nullopt : ParseFit(a->fit);
            if (std::error_code ec; !fit && std::filesystem::is_directory(a->out, ec)) {
              const std::string png = std::filesystem::path(RecordStem(a->files.front())).filename().string() + ".png";
              con.Report({a->out, "is a folder; -o names the PNG to write, such as " +
                                      (std::filesystem::path(a->out) / png).string(), 0, ProblemKind::kUsage});
              return kRefused;
            }
            return WriteEchogram(con, a->files.front(), a->out, a->pingsPerImage,
                                   a->palette == "viridis" ? Palette::kViridis : Palette::kGrey, fit);
          }};
}

Command AddNetcdfCommand(CLI::App& app) {
  struct Args {
    std::vector<std::string> files;
    std::string file, dir;
    int deflate = kDefaultDeflate;
  };
  auto a = std::make_shared<Args>();
  CLI::App* netcdf = app.add_subcommand("netcdf", "Write record files as SONAR-netCDF4 files (samples, ping times, "
                                                  "fixes, header fields)");
  AddFiles(netcdf, a->files, "Record files");
  CLI::Option* file = netcdf->add_option("-o", a->file, "The netCDF file to write, for one record file");
  CLI::Option* dir = netcdf->add_option("--out", a->dir, "Folder to write DIR/NAME.nc into, one per record file");
  file->excludes(dir);
  netcdf->add_option("--deflate", a->deflate, "Deflate level, 0 (none) to 9")
      ->check(NumberIn(0, 9))
      ->capture_default_str();
  netcdf->callback([file, dir] {
    if (file->count() + dir->count() == 0) throw CLI::RequiredError("-o OUT.nc or --out DIR");
  });
  return {netcdf, [a](Console& con) {
            if (!a->file.empty() && a->files.size() > 1) {
              con.Report({"netcdf", "-o names one output file, for one record file; use --out DIR for several", 0,
                          ProblemKind::kUsage});
              return kRefused;
            }
            return WriteNetcdf(con, a->files, {a->file, a->dir, a->deflate});
          }};
}

}  // namespace zep::cli
