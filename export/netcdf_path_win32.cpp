// netCDF-C reads a path that starts with a slash as a Unix or MSYS one, and
// "/tmp/x" then names no file: it is given the whole path, with its drive. In
// the ANSI code page, as the program's other paths: netCDF-C converts it for
// HDF5 itself.

#include <windows.h>

#include "export/netcdf_api.h"

namespace zep {

std::string NetcdfPath(const std::string& path) {
  const DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::string full(n, '\0');
  const DWORD written = GetFullPathNameA(path.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) return path;
  full.resize(written);
  return full;
}

}  // namespace zep
