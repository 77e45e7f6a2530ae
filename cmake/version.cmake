# The version header, made at every build (see write_version.cmake), and the
# target that programs printing or carrying the version link.
set(ZEP_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
add_custom_target(zep_version_header
  COMMAND "${CMAKE_COMMAND}" -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT=${ZEP_GENERATED_DIR}/zep_version.h
          -DVERSION=${PROJECT_VERSION} -P "${PROJECT_SOURCE_DIR}/cmake/write_version.cmake"
  BYPRODUCTS "${ZEP_GENERATED_DIR}/zep_version.h"
  COMMENT "" VERBATIM)
add_library(zep_version INTERFACE)
target_include_directories(zep_version INTERFACE "${ZEP_GENERATED_DIR}")
add_dependencies(zep_version zep_version_header)

# A VERSIONINFO resource for a Windows program: zep_add_version_resource(target "File description")
function(zep_add_version_resource target description)
  get_target_property(output ${target} OUTPUT_NAME)
  if(NOT output)
    set(output ${target})
  endif()
  set(ZEP_FILE_DESCRIPTION "${description}")
  set(ZEP_ORIGINAL_FILENAME "${output}.exe")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/res/version.rc.in" "${rc}" @ONLY)
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${ZEP_GENERATED_DIR}/zep_version.h")
  target_sources(${target} PRIVATE "${rc}")
  target_include_directories(${target} PRIVATE "${ZEP_GENERATED_DIR}")
  add_dependencies(${target} zep_version_header)
endfunction()
