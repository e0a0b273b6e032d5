# For a cross build to Windows: the header-only libraries the host and the
# host program use (GLM, CLI11, nlohmann-json) come from the build machine's Debian packages.
# Their headers are platform-neutral, but /usr/include as a whole must not be
# on a cross compiler's path, so each is linked into a folder of its own and
# offered to find_package through redirect files.
set(VARNEX_CROSS_HEADERS ${CMAKE_BINARY_DIR}/cross-headers)
file(MAKE_DIRECTORY ${VARNEX_CROSS_HEADERS})

function(varnex_cross_header_package package target folder)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install the Debian package that provides ${package}")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${VARNEX_CROSS_HEADERS}/${folder} SYMBOLIC)
  string(TOLOWER ${package} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake "
if(NOT TARGET ${target})
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VARNEX_CROSS_HEADERS})
endif()
")
endfunction()

varnex_cross_header_package(glm glm::glm glm)
varnex_cross_header_package(CLI11 CLI11::CLI11 CLI)
varnex_cross_header_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
