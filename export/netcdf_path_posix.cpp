#include "export/netcdf_api.h"

namespace zep {

std::string NetcdfPath(const std::string& path) { return path; }

}  // namespace zep
