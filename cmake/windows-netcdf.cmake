# netCDF-C and HDF5 for the Windows build: the static libraries that
# scripts/windows-netcdf builds from Debian's sources, in the folder
# ZEP_WINDOWS_NETCDF_PREFIX names. They are linked into the programs, so these
# still need no DLL but the system's. The folder's own CMake and pkg-config
# files name the temporary folder it was built in, hence the targets here.
set(ZEP_WINDOWS_NETCDF_PREFIX "" CACHE PATH
    "Static netCDF-C and HDF5 for mingw-w64 (scripts/windows-netcdf prints it); empty: no netCDF")
if(NOT ZEP_WINDOWS_NETCDF_PREFIX)
  return()
endif()

set(prefix "${ZEP_WINDOWS_NETCDF_PREFIX}")
foreach(lib netcdf hdf5_hl hdf5)
  if(NOT EXISTS "${prefix}/lib/lib${lib}.a")
    message(FATAL_ERROR "ZEP_WINDOWS_NETCDF_PREFIX=${prefix} has no lib/lib${lib}.a: run scripts/windows-netcdf")
  endif()
endforeach()
file(STRINGS "${prefix}/include/netcdf_meta.h" version_line REGEX "#define NC_VERSION +\"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" netCDF_VERSION "${version_line}")

# The static zlib: CMake's own pick, libz.dll.a, would import zlib1.dll.
find_library(ZEP_WINDOWS_ZLIB_STATIC libz.a REQUIRED)
add_library(netCDF::netcdf STATIC IMPORTED)
set_target_properties(netCDF::netcdf PROPERTIES
  IMPORTED_LOCATION "${prefix}/lib/libnetcdf.a"
  INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
  INTERFACE_LINK_LIBRARIES
    "${prefix}/lib/libhdf5_hl.a;${prefix}/lib/libhdf5.a;${ZEP_WINDOWS_ZLIB_STATIC}")
set(netCDF_FOUND TRUE)
set(ZEP_NETCDF_LINKED_IN TRUE)
