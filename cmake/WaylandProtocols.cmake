# Client code for Wayland protocols, generated from their XML descriptions by wayland-scanner.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_package(PlasmaWaylandProtocols REQUIRED)

# Adds to `target` the client code of each protocol named (KDE's, from plasma-wayland-protocols),
# and the folder of their headers (`<name>-client-protocol.h`) to its include path.
function(add_kde_wayland_protocols target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols)
  foreach(protocol ${ARGN})
    set(xml ${PLASMA_WAYLAND_PROTOCOLS_DIR}/${protocol}.xml)
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
