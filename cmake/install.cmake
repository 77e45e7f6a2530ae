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
set(CPACK_PACKAGE_CONTACT "The ZEP Converter authors <zep-converter@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts sonar records on TK40 and ZEP V1.X magneto-optical discs into .ZEP files")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS zepconverter zepconv RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "zep-converter-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS zepconv RUNTIME DESTINATION bin)
  install(FILES README.md LICENSE DESTINATION "${ZEP_DOC_DIR}")

  set(docs "${CMAKE_BINARY_DIR}/docs")
  add_custom_command(OUTPUT "${docs}/zepconv"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${docs}"
    COMMAND zepconv --bash-completion > "${docs}/zepconv"
    DEPENDS zepconv COMMENT "bash completion for zepconv" VERBATIM)
  set(doc_outputs "${docs}/zepconv")
  install(FILES "${docs}/zepconv" DESTINATION share/bash-completion/completions)

  find_program(ZEP_HELP2MAN help2man)
  if(ZEP_HELP2MAN)
    add_custom_command(OUTPUT "${docs}/zepconv.1"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${docs}"
      COMMAND zepconv --man-include > "${docs}/commands.h2m"
      COMMAND "${ZEP_HELP2MAN}" --no-info --section 1
              --name "list and convert the records of TK40 and ZEP V1.X sonar discs"
              --include "${docs}/commands.h2m" --include "${PROJECT_SOURCE_DIR}/cli/zepconv.h2m"
              --output "${docs}/zepconv.1" $<TARGET_FILE:zepconv>
      DEPENDS zepconv "${PROJECT_SOURCE_DIR}/cli/zepconv.h2m" COMMENT "man page for zepconv" VERBATIM)
    list(APPEND doc_outputs "${docs}/zepconv.1")
    install(FILES "${docs}/zepconv.1" DESTINATION share/man/man1)
  else()
    message(STATUS "help2man not found: no man page (scripts/deps installs it)")
  endif()
  add_custom_target(zepconv_docs ALL DEPENDS ${doc_outputs})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
endif()
include(CPack)
