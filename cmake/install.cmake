# Installation and packages. Native builds install zepconv with its man page
# (help2man, from the tool's own help texts) and bash completion (from the
# tool's own command line), and make a Debian package; the Windows build puts
# both programs into a zip. scripts/package makes both.
if(ZEP_SANITIZE OR ZEP_FUZZ)
  return()  # a tree for tests alone: nothing in it is for installing
endif()
set(ZEP_DOC_DIR "share/doc/zep-converter")
# Packaging builds only what it installs (scripts/package names the targets),
# not every test program.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME "zep-converter")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The ZEP Converter authors")
# Who answers for the package: the Debian control file, the copyright file and
# every changelog entry take it from here.
set(ZEP_MAINTAINER "ZEP Converter maintainers <maintainers@zep-converter.org>")
set(CPACK_PACKAGE_CONTACT "${ZEP_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert TK40 and ZEP V1.X sonar discs into .ZEP record files")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS zepconverter zepconv RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  if(ZEP_NETCDF_LINKED_IN)
    # netCDF-C and HDF5 are compiled into both programs: the zip carries
    # their licences, as Debian's source packages state them, in the
    # copyright file after the program's own and whole in licenses/.
    set(licences "${ZEP_WINDOWS_NETCDF_PREFIX}/share/licenses")
    configure_file(cmake/copyright.in "${CMAKE_BINARY_DIR}/docs/copyright" @ONLY)
    foreach(lib netcdf hdf5)
      file(READ "${licences}/${lib}/copyright" text)
      file(APPEND "${CMAKE_BINARY_DIR}/docs/copyright"
           "

# Compiled into ZepConverter.exe and zepconv.exe: ${lib}, from Debian's source package ${lib}

${text}")
    endforeach()
    install(FILES "${CMAKE_BINARY_DIR}/docs/copyright" DESTINATION .)
    install(DIRECTORY "${licences}/" DESTINATION licenses)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "zep-converter-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS zepconv RUNTIME DESTINATION bin)
  if(TARGET zepnetcdf)
    # A private module, found from zepconv's own folder (../lib/zep-converter).
    install(TARGETS zepnetcdf LIBRARY DESTINATION "${ZEP_MODULE_DIR}")
  endif()
  # LICENSE stays beside the copyright file: zepconv --version points to it.
  install(FILES README.md LICENSE DESTINATION "${ZEP_DOC_DIR}")

  set(docs "${CMAKE_BINARY_DIR}/docs")
  add_custom_command(OUTPUT "${docs}/zepconv"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${docs}"
    COMMAND zepconv --bash-completion > "${docs}/zepconv"
    DEPENDS zepconv COMMENT "bash completion for zepconv" VERBATIM)
  set(doc_outputs "${docs}/zepconv")
  install(FILES "${docs}/zepconv" DESTINATION share/bash-completion/completions)

  # Debian wants a native package's changelog and its man pages compressed
  # with gzip -9, and -n keeps the file's name and time out of the header so
  # that two builds of one source give the same package.
  find_program(ZEP_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT "${docs}/changelog.gz"
    COMMAND "${CMAKE_COMMAND}" -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUTPUT=${docs}/changelog
            -DPACKAGE=zep-converter -DMAINTAINER=${ZEP_MAINTAINER}
            -P "${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake"
    COMMAND "${ZEP_GZIP}" -9nf "${docs}/changelog"
    DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake"
    COMMENT "Debian changelog from CHANGELOG.md" VERBATIM)
  list(APPEND doc_outputs "${docs}/changelog.gz")
  configure_file(cmake/copyright.in "${docs}/copyright" @ONLY)
  install(FILES "${docs}/changelog.gz" "${docs}/copyright" DESTINATION "${ZEP_DOC_DIR}")

  find_program(ZEP_HELP2MAN help2man)
  if(ZEP_HELP2MAN)
    add_custom_command(OUTPUT "${docs}/zepconv.1" "${docs}/zepconv.1.gz"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${docs}"
      COMMAND zepconv --man-include > "${docs}/commands.h2m"
      COMMAND "${ZEP_HELP2MAN}" --no-info --section 1
              --name "list and convert the records of TK40 and ZEP V1.X sonar discs"
              --include "${docs}/commands.h2m" --include "${PROJECT_SOURCE_DIR}/cli/zepconv.h2m"
              --output "${docs}/zepconv.1" $<TARGET_FILE:zepconv>
      COMMAND "${ZEP_GZIP}" -9nkf "${docs}/zepconv.1"
      DEPENDS zepconv "${PROJECT_SOURCE_DIR}/cli/zepconv.h2m" COMMENT "man page for zepconv" VERBATIM)
    list(APPEND doc_outputs "${docs}/zepconv.1.gz")
    install(FILES "${docs}/zepconv.1.gz" DESTINATION share/man/man1)
  else()
    message(STATUS "help2man not found: no man page (scripts/deps installs it)")
  endif()
  add_custom_target(zepconv_docs ALL DEPENDS ${doc_outputs})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ZEP Converter reads the sonar recordings that TK40 and ZEP V1.X field\n"
    "recorders wrote onto magneto-optical discs, from the drive or from a disc\n"
    "image (with the GNU ddrescue mapfile of a damaged one), and writes each\n"
    "record into a .ZEP record file without losing a ping. zepconv lists a\n"
    "disc's records (list), converts them (convert), checks a disc's health\n"
    "(check), recovers the records of a disc whose directory is lost (carve),\n"
    "and gives a record file's pings, GPS track and echogram (pings, track,\n"
    "echogram).")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
endif()
include(CPack)
