// Builds without netCDF-C (a Windows build not given the libraries that
// scripts/windows-netcdf makes).

#include "export/netcdf.h"

namespace zep {

bool HaveNetcdf() { return false; }

namespace {
Problem Unsupported() {
  return {"netcdf", "this build of zepconv has no netCDF support (it was built without netCDF-C); use a build that has it", 0,
          ProblemKind::kMissing};
}
}  // namespace

Outcome WriteNetcdf(Sink& con, const std::vector<std::string>&, const NetcdfOptions&) {
  con.Report(Unsupported());
  return Outcome::kRefused;
}

Problems WriteNetcdfFile(const std::string&, const std::string&, int) { return {Unsupported()}; }

}  // namespace zep
