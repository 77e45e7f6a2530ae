// The table, where netCDF-C is linked into the program itself (the Windows
// build, with static netCDF-C and HDF5): there is nothing to open, and no
// module from another build to meet.

#include "export/netcdf_api.h"

extern "C" const zep::NetcdfApi* zep_netcdf_api();

namespace zep {

const NetcdfApi* LoadNetcdfApi(Problem&) { return zep_netcdf_api(); }

}  // namespace zep
