# Writes the version header: the project's number, with what `git describe`
# says when the sources are a git checkout. Runs at every build, so the text
# follows commits; the header is rewritten (and what includes it rebuilt) only
# when the text changes.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=0.4.0 -P write_version.cmake
set(describe "")
if(EXISTS "${SOURCE_DIR}/.git")
  find_program(GIT git)
  if(GIT)
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --always --dirty --tags
                    OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(describe "")
    endif()
  endif()
endif()
set(ZEP_VERSION "${VERSION}")
if(describe)
  set(ZEP_VERSION_TEXT "${VERSION} (${describe})")
else()
  set(ZEP_VERSION_TEXT "${VERSION}")
endif()
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 ZEP_VERSION_MAJOR)
list(GET parts 1 ZEP_VERSION_MINOR)
list(GET parts 2 ZEP_VERSION_PATCH)
configure_file("${CMAKE_CURRENT_LIST_DIR}/zep_version.h.in" "${OUTPUT}" @ONLY)
