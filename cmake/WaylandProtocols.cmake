# Client code for Wayland protocols, generated from their XML descriptions by wayland-scanner.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_package(PlasmaWaylandProtocols REQUIRED)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols not found")
endif()

# Adds to `target` the client code of each protocol description given (`<dir>/<name>.xml`), and
# the folder of their headers (`<name>-client-protocol.h`) to its include path.
function(add_wayland_protocol_files target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols)
  foreach(xml ${ARGN})
    get_filename_component(protocol ${xml} NAME_WE)
    add_custom_command(
      OUTPUT ${dir}/${protocol}-client-protocol.h ${dir}/${protocol}-protocol.c
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${dir}/${protocol}-client-protocol.h
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${protocol}-protocol.c
      DEPENDS ${xml})
    target_sources(${target} PRIVATE ${dir}/${protocol}-client-protocol.h ${dir}/${protocol}-protocol.c)
  endforeach()
  target_include_directories(${target} PRIVATE ${dir})
endfunction()

# KDE's protocols, by name (from plasma-wayland-protocols).
function(add_kde_wayland_protocols target)
  list(TRANSFORM ARGN PREPEND ${PLASMA_WAYLAND_PROTOCOLS_DIR}/ OUTPUT_VARIABLE names)
  list(TRANSFORM names APPEND .xml)
  add_wayland_protocol_files(${target} ${names})
endfunction()
