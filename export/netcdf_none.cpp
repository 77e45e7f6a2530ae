// Builds without netCDF-C (the Windows build: Debian has no netCDF library
// for mingw-w64).

#include "export/netcdf.h"

namespace zep {

bool HaveNetcdf() { return false; }

Outcome NetcdfCommand(Sink& con, const std::vector<std::string>&, const NetcdfOptions&) {
  con.Report("netcdf", "this build of zepconv has no netCDF support (the Windows build has no netCDF library); "
                       "use the Linux build");
  return Outcome::kRefused;
}

}  // namespace zep
