# Debian's hardening flags (dpkg-buildflags with hardening=+all) for the
# native builds, which the package is made from: fortified C library calls,
# the stack protector, full RELRO with immediate binding, and position
# independent executables. The sanitizer tree goes without (the sanitizers
# check more, and _FORTIFY_SOURCE gets in their way); the Windows build keeps
# the linker's defaults, which already give ASLR (dynamic base, high entropy)
# and DEP (NX compatible).
if(CMAKE_CROSSCOMPILING OR ZEP_SANITIZE OR ZEP_FUZZ)
  return()
endif()
add_compile_options(-fstack-protector-strong)
# _FORTIFY_SOURCE works only when optimizing; glibc warns otherwise, which
# -Werror would make an error in a debug build.
string(TOUPPER "${CMAKE_BUILD_TYPE}" zep_build_type)
if("${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${zep_build_type}}" MATCHES "-O[1-3sgz]|-Ofast")
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
