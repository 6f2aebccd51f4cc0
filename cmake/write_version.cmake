# Run at every build: writes the version source from the project version and, in a
# git checkout, the commit description; the file is touched only when its text
# changes, so an unchanged tree recompiles nothing.
#   cmake -DVERSION=1.3 -DSOURCE_DIR=... -DOUTPUT=... -P write_version.cmake
set(description "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --dirty
                  WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE description
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    set(description "")
  endif()
endif()
set(text "// Generated at build time; do not edit.\n#include \"support/version.h\"\n\n"
         "std::string_view tarnwick::ProjectVersion() { return \"${VERSION}\"; }\n"
         "std::string_view tarnwick::SourceDescription() { return \"${description}\"; }\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
