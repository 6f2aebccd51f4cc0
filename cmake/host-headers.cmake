# CLI11 and nlohmann-json are header-only. A cross build cannot use the build
# machine's CMake packages (they would put all of /usr/include on the target's
# include path), so it gets a folder holding just these two headers' directories.
set(TARNWICK_HOST_INCLUDE /usr/include CACHE PATH "Where the header-only libraries' headers are")
set(host_headers ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${host_headers})

function(tarnwick_header_only target folder header)
  if(TARGET ${target})
    return()
  endif()
  if(NOT EXISTS ${TARNWICK_HOST_INCLUDE}/${folder}/${header})
    message(FATAL_ERROR "${target}: ${TARNWICK_HOST_INCLUDE}/${folder}/${header} not found (set TARNWICK_HOST_INCLUDE)")
  endif()
  file(CREATE_LINK ${TARNWICK_HOST_INCLUDE}/${folder} ${host_headers}/${folder} SYMBOLIC COPY_ON_ERROR)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${host_headers})
endfunction()

tarnwick_header_only(CLI11::CLI11 CLI CLI.hpp)
tarnwick_header_only(nlohmann_json::nlohmann_json nlohmann json.hpp)
