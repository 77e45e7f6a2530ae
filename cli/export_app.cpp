// The command lines of pings, track, echogram and netcdf.

#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/conventions.h"
#include "cli/export_app.h"
#include "export/exports.h"
#include "export/netcdf.h"

namespace zep::cli {

ExportCommands::ExportCommands(CLI::App& app, const char* footer) {
  pings_ = app.add_subcommand("pings", "Write one row per ping of record files: header fields and GPS text");
  pings_->add_option("FILE", files_, "Record files")->required();
  pings_->add_option("--format", format_, "csv or jsonl (one JSON object per line)")
      ->check(CLI::IsMember({"csv", "jsonl"}))
      ->capture_default_str();
  pings_->add_option("-o,--out", out_, "File to write (default: standard output)");

  track_ = app.add_subcommand("track", "Write the GPS track of record files");
  track_->add_option("FILE", files_, "Record files")->required();
  track_->add_option("--format", trackFormat_, "gpx, geojson, kml or csv")
      ->check(CLI::IsMember({"gpx", "geojson", "kml", "csv"}))
      ->required();
  track_->add_option("-o,--out", out_, "File to write (default: standard output)");
  track_->add_option("--gap", gap_, "Start a new segment after a time gap of more than this many seconds")
      ->check(NumberAbove(0, "seconds"))
      ->capture_default_str();

  echogram_ = app.add_subcommand("echogram", "Draw a record file's pings as PNG images, one column per ping");
  echogram_->add_option("FILE", files_, "A record file")->required()->expected(1);
  echogram_->add_option("-o,--out", out_, "The PNG to write; long records give OUT_0000.png, OUT_0001.png, ...")
      ->required();
  echogram_->add_option("--pings-per-image", pingsPerImage_, "Columns per image at most")
      ->check(NumberIn(1, 16384))
      ->capture_default_str();
  echogram_->add_option("--fit", fit_, "One thumbnail of at most WIDTHxHEIGHT pixels, each the strongest sample of "
                                     "its block (a block with a missing ping is transparent)")
      ->check([](const std::string& v) {
        int w = 0, h = 0;
        char x = 0, extra = 0;
        return std::sscanf(v.c_str(), "%d%c%d%c", &w, &x, &h, &extra) == 3 && (x == 'x' || x == 'X') && w > 0 &&
                       h > 0 && w <= 16384 && h <= 16384
                   ? std::string()
                   : std::string("--fit takes WIDTHxHEIGHT, such as 1024x256");
      });
  echogram_->add_option("--palette", palette_, "grey (the sample values themselves) or viridis")
      ->check(CLI::IsMember({"grey", "viridis"}))
      ->capture_default_str();

  netcdf_ = app.add_subcommand("netcdf", "Write record files as SONAR-netCDF4 files (samples, ping times, fixes, "
                                         "header fields)");
  netcdf_->add_option("FILE", files_, "Record files")->required();
  CLI::Option* file = netcdf_->add_option("-o", ncFile_, "The netCDF file to write, for one record file");
  CLI::Option* dir = netcdf_->add_option("--out", ncDir_, "Folder to write DIR/NAME.nc into, one per record file");
  file->excludes(dir);
  deflate_ = kDefaultDeflate;
  netcdf_->add_option("--deflate", deflate_, "Deflate level, 0 (none) to 9")
      ->check(NumberIn(0, 9))
      ->capture_default_str();
  netcdf_->callback([file, dir] {
    if (file->count() + dir->count() == 0) throw CLI::RequiredError("-o OUT.nc or --out DIR");
  });

  for (CLI::App* command : {pings_, track_, echogram_, netcdf_}) command->footer(footer);
}

std::optional<int> ExportCommands::Run(Console& con) const {
  if (*pings_) return StatusOf(PingsCommand(con, files_, format_ == "jsonl", out_));
  if (*track_) {
    const TrackFormat format = trackFormat_ == "gpx"       ? TrackFormat::kGpx
                               : trackFormat_ == "geojson" ? TrackFormat::kGeoJson
                               : trackFormat_ == "kml"     ? TrackFormat::kKml
                                                           : TrackFormat::kCsv;
    return StatusOf(TrackCommand(con, files_, format, out_, gap_));
  }
  if (*echogram_) {
    std::optional<Fit> fit;
    if (!fit_.empty()) {
      fit.emplace();
      char x = 0;
      std::sscanf(fit_.c_str(), "%d%c%d", &fit->width, &x, &fit->height);
    }
    return StatusOf(EchogramCommand(con, files_.front(), out_, pingsPerImage_,
                                    palette_ == "viridis" ? Palette::kViridis : Palette::kGrey, fit));
  }
  if (*netcdf_) return StatusOf(NetcdfCommand(con, files_, {ncFile_, ncDir_, deflate_}));
  return std::nullopt;
}

}  // namespace zep::cli
