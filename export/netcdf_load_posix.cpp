// Opens zepnetcdf.so on first use. It is looked for at one place only, in
// the tree the running program came from: <folder of the executable>/../
// ZEP_MODULE_DIR, that is /usr/lib/x86_64-linux-gnu/zep-converter beside
// /usr/bin/zepconv, and build/lib/x86_64-linux-gnu/zep-converter beside
// build/cli/zepconv in a build tree. The
// program's own file comes from the kernel (/proc/self/exe, links resolved),
// so neither the working folder nor the environment can point the program at
// another module; and since the search is our own, by full path, no library
// search path (RUNPATH, $ORIGIN) is needed for it. A path fixed at build time
// would miss the package, which cpack installs under another prefix than the
// build's, and the scratch root the package tests install into.

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "export/netcdf_api.h"

namespace zep {
namespace {

struct Loaded {
  const NetcdfApi* api = nullptr;
  Problem problem;
};

Problem Missing(std::string what) {
  Problem p{"netcdf", std::move(what)};
  p.kind = ProblemKind::kMissing;
  return p;
}

Loaded Load() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {nullptr, Missing("cannot tell where zepconv runs from, to find its netCDF module: " + ec.message())};
  const std::string module = (exe.parent_path() / ".." / ZEP_MODULE_DIR / "zepnetcdf.so").lexically_normal().string();
  // RTLD_LOCAL: netCDF's libraries stay out of the way of every later lookup.
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    return {nullptr, Missing("netCDF support is not installed: " + std::string(why ? why : module))};
  }
  const auto entry = reinterpret_cast<NetcdfApiEntry>(::dlsym(handle, kNetcdfApiSymbol));
  const NetcdfApi* api = entry ? entry() : nullptr;
  if (!api || api->version != kNetcdfApiVersion || api->size != sizeof(NetcdfApi)) {
    ::dlclose(handle);
    return {nullptr, Missing(module + ": not the netCDF module of this zepconv (from another build)")};
  }
  return {api, {}};  // kept open: the table points into it
}

}  // namespace

const NetcdfApi* LoadNetcdfApi(Problem& problem) {
  static const Loaded loaded = Load();
  if (!loaded.api) problem = loaded.problem;
  return loaded.api;
}

}  // namespace zep
