// Builds without netCDF-C (a Windows build not given the libraries that
// scripts/windows-netcdf makes).

#include "export/netcdf.h"

namespace zep {

bool HaveNetcdf() { return false; }

Outcome NetcdfCommand(Sink& con, const std::vector<std::string>&, const NetcdfOptions&) {
  con.Report("netcdf", "this build of zepconv has no netCDF support (it was built without netCDF-C); "
                       "use a build that has it");
  return Outcome::kRefused;
}

}  // namespace zep
