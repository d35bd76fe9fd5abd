# Every tests/e2e/test_*.py runs the real demo on its own virtual X server.
find_program(PYTHON3 python3 REQUIRED)
# Shims the tests preload into the demo to make the window system misbehave.
add_library(refuse_fullscreen MODULE ${CMAKE_CURRENT_LIST_DIR}/shims/refuse_fullscreen.c)
add_library(refuse_second_context MODULE ${CMAKE_CURRENT_LIST_DIR}/shims/refuse_second_context.c)
target_link_libraries(refuse_second_context PRIVATE ${CMAKE_DL_LIBS})
add_library(still_scene MODULE ${CMAKE_CURRENT_LIST_DIR}/shims/still_scene.c)
target_link_libraries(still_scene PRIVATE ${CMAKE_DL_LIBS})
add_library(skewed_sound_clock MODULE ${CMAKE_CURRENT_LIST_DIR}/shims/skewed_sound_clock.c)
target_link_libraries(skewed_sound_clock PRIVATE ${CMAKE_DL_LIBS})
add_library(old_randr_failing_raise MODULE ${CMAKE_CURRENT_LIST_DIR}/shims/old_randr_failing_raise.c)
target_link_libraries(old_randr_failing_raise PRIVATE ${CMAKE_DL_LIBS})
# The benchmarks' swap-timing probe: the harness waits on the demo's swaps instead of the clock.
add_library(e2e_swap_probe MODULE ${CMAKE_SOURCE_DIR}/bench/swap_probe.c)
target_link_libraries(e2e_swap_probe PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(e2e_swap_probe PROPERTIES OUTPUT_NAME swap_probe)
set_target_properties(refuse_fullscreen refuse_second_context old_randr_failing_raise still_scene skewed_sound_clock e2e_swap_probe PROPERTIES PREFIX ""
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/shims)
file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.py)
foreach(script ${E2E_TESTS})
  get_filename_component(name ${script} NAME_WE)
  string(REGEX REPLACE "^test_" "" name ${name})
  # The desktops' tests talk to them over D-Bus through Debian's own Python and its GObject bindings.
  set(python ${PYTHON3})
  # The party's music test too, for numpy.
  if(name MATCHES "^(desktops|scales|party_music|clicks|frame_loop)$")
    set(python /usr/bin/python3)
  endif()
  # The guests' test serves the built page (web.build's folder).
  set(page)
  if(name STREQUAL "guests")
    set(page ${CMAKE_BINARY_DIR}/web)
  endif()
  add_test(NAME e2e.${name} COMMAND ${python} ${script} $<TARGET_FILE:disco> ${page})
  # The tests wait for what they need with deadlines of their own; this one only ends a hang,
  # and leaves room for the longest (about a hundred runs of the demo) on a busy machine.
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e TIMEOUT 1200 RESOURCE_LOCK xserver
                       ENVIRONMENT "DISCO_SWAP_PROBE=$<TARGET_FILE:e2e_swap_probe>;DISCO_E2E_TOOLS=${CMAKE_BINARY_DIR}")
endforeach()
# The party's music on a network of its own, which never clears the party test's.
set_property(TEST e2e.party_music APPEND PROPERTY ENVIRONMENT "DISCO_NETNS_PREFIX=discomusic-")
# Guests' phones at a party: a network of their own too, and the page built first.
set_property(TEST e2e.guests APPEND PROPERTY ENVIRONMENT "DISCO_NETNS_PREFIX=discoguest-")
set_tests_properties(e2e.guests PROPERTIES FIXTURES_REQUIRED web_page)
# Whether the X server shows a cursor at the pointer (the monitors test checks it is hidden).
pkg_check_modules(XFIXES REQUIRED IMPORTED_TARGET x11 xfixes)
add_executable(e2e_cursor_shown ${CMAKE_CURRENT_LIST_DIR}/tools/cursor_shown.c)
target_link_libraries(e2e_cursor_shown PRIVATE PkgConfig::XFIXES)
# A notification-style popup over everything (the monitors test checks the demo covers it again).
add_executable(e2e_popup ${CMAKE_CURRENT_LIST_DIR}/tools/popup.c)
target_link_libraries(e2e_popup PRIVATE PkgConfig::XFIXES)
# kwin's outputs, their order and its fake keyboard, over KDE's own protocols (the KDE desktop
# in kde.py).
add_executable(e2e_kwin_control ${CMAKE_CURRENT_LIST_DIR}/tools/kwin_control.c)
add_kde_wayland_protocols(e2e_kwin_control fake-input kde-output-device-v2 kde-output-management-v2 kde-output-order-v1)
target_link_libraries(e2e_kwin_control PRIVATE PkgConfig::WAYLAND)
# A full-screen window that tells each click it gets, and a pointer on a wlroots compositor's
# seat (the clicks test).
add_executable(e2e_witness ${CMAKE_CURRENT_LIST_DIR}/tools/witness.c)
target_link_libraries(e2e_witness PRIVATE PkgConfig::SDL2)
add_executable(e2e_virtual_pointer ${CMAKE_CURRENT_LIST_DIR}/tools/virtual_pointer.c)
add_wayland_protocol_files(e2e_virtual_pointer ${CMAKE_CURRENT_LIST_DIR}/tools/wlr-virtual-pointer-unstable-v1.xml)
target_link_libraries(e2e_virtual_pointer PRIVATE PkgConfig::WAYLAND)
