#pragma once
// The netCDF-C calls the netCDF writer makes, as one table. netCDF-C pulls in
// HDF5, curl, TLS, Kerberos, LDAP, libxml2 and more: some forty libraries
// whose loading and relocation made every zepconv command take ten times as
// long to start as it takes to run. So zepconv does not link it: a module of
// its own (zepnetcdf.so, which does) hands over this table, and is opened
// only when a command writes netCDF. The module and zepconv are built
// together from the one header, so the table's layout is the same in both;
// kNetcdfApiVersion and the size catch a module from another build.

#include <netcdf.h>

#include <cstddef>

namespace zep {

inline constexpr int kNetcdfApiVersion = 1;

struct NetcdfApi {
  int version;
  std::size_t size;
  decltype(&::nc_strerror) strerror;
  decltype(&::nc_create) create;
  decltype(&::nc_enddef) enddef;
  decltype(&::nc_close) close;
  decltype(&::nc_def_grp) def_grp;
  decltype(&::nc_def_dim) def_dim;
  decltype(&::nc_def_var) def_var;
  decltype(&::nc_def_var_chunking) def_var_chunking;
  decltype(&::nc_def_var_deflate) def_var_deflate;
  decltype(&::nc_def_var_fill) def_var_fill;
  decltype(&::nc_set_var_chunk_cache) set_var_chunk_cache;
  decltype(&::nc_put_att_text) put_att_text;
  decltype(&::nc_put_att_double) put_att_double;
  decltype(&::nc_put_att_schar) put_att_schar;
  decltype(&::nc_put_att_short) put_att_short;
  decltype(&::nc_put_var_int) put_var_int;
  decltype(&::nc_put_vara_double) put_vara_double;
  decltype(&::nc_put_vara_longlong) put_vara_longlong;
  decltype(&::nc_put_vara_short) put_vara_short;
  decltype(&::nc_put_vara_string) put_vara_string;
  decltype(&::nc_put_vara_text) put_vara_text;
};

// The module's one entry point, looked up by this name.
inline constexpr const char* kNetcdfApiSymbol = "zep_netcdf_api";
using NetcdfApiEntry = const NetcdfApi* (*)();

}  // namespace zep

#include <string>

#include "disc/problem.h"

namespace zep {

// The table, from the module opened on the first call; nothing (and the
// problem, of kind kMissing, naming what is missing) where it cannot be
// loaded. Later calls give the same answer without trying again.
const NetcdfApi* LoadNetcdfApi(Problem& problem);

// A file's path as netCDF-C takes it: on Windows whole, with its drive (it
// would take "/tmp/x" for another system's path).
std::string NetcdfPath(const std::string& path);

}  // namespace zep
