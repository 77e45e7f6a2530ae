#pragma once
// Record files as SONAR-netCDF4 1.0 files (ICES), laid out as
// echopype lays out an echosounder's: the samples in Sonar/Beam_group1, the
// fixes in Platform, the header fields in Vendor_specific. Written with
// netCDF-C where the build has it; elsewhere the writer says it cannot.

#include <string>
#include <vector>

#include "export/sink.h"

namespace zep {

inline constexpr int kDefaultDeflate = 1;

struct NetcdfOptions {
  std::string outFile;  // -o: one record file into this file
  std::string outDir;   // --out: each record file into DIR/STEM.nc
  int deflate = kDefaultDeflate;  // 0 (none) to 9
};

// Whether this build can write netCDF files at all.
bool HaveNetcdf();

// Each record file into options.outFile, or into outDir/STEM.nc.
Outcome WriteNetcdf(Sink& con, const std::vector<std::string>& files, const NetcdfOptions& options);

// One record file into the netCDF file out, for callers that keep their own
// account (the inventory): what went wrong, empty when it was written whole.
Problems WriteNetcdfFile(const std::string& in, const std::string& out, int deflate = kDefaultDeflate);

}  // namespace zep
