// zepnetcdf.so: the one piece of zepconv that links netCDF-C (see
// netcdf_api.h). Nothing else of zepconv is in it, so it shares no state
// with the program that opens it. The Windows build links it into the
// programs instead (netcdf_load_linked.cpp).

#include "export/netcdf_api.h"

namespace {

constexpr zep::NetcdfApi kApi = {
    zep::kNetcdfApiVersion,
    sizeof(zep::NetcdfApi),
    nc_strerror,
    nc_create,
    nc_enddef,
    nc_close,
    nc_def_grp,
    nc_def_dim,
    nc_def_var,
    nc_def_var_chunking,
    nc_def_var_deflate,
    nc_def_var_fill,
    nc_set_var_chunk_cache,
    nc_put_att_text,
    nc_put_att_double,
    nc_put_att_schar,
    nc_put_att_short,
    nc_put_var_int,
    nc_put_vara_double,
    nc_put_vara_longlong,
    nc_put_vara_short,
    nc_put_vara_string,
    nc_put_vara_text,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const zep::NetcdfApi* zep_netcdf_api() { return &kApi; }
