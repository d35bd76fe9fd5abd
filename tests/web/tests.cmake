# The demo in a web page, in headless Chromium: the page is built first (a fixture), the tests
# serve it themselves. disco-capture draws the frames the page's are compared with, desktop_track
# decodes the music the page's is compared with.
find_program(PYTHON3 python3 REQUIRED)
add_executable(desktop_track ${CMAKE_CURRENT_LIST_DIR}/desktop_track.cpp)
target_link_libraries(desktop_track PRIVATE disco_services)
add_test(NAME web.build COMMAND bash ${CMAKE_SOURCE_DIR}/platform/web/build.sh ${CMAKE_BINARY_DIR}/web)
set_tests_properties(web.build PROPERTIES LABELS web TIMEOUT 900 FIXTURES_SETUP web_page)
add_test(NAME web.page COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/test_page.py ${CMAKE_BINARY_DIR}/web
                               $<TARGET_FILE:disco-capture> $<TARGET_FILE:desktop_track>)
set_tests_properties(web.page PROPERTIES LABELS web TIMEOUT 1200 FIXTURES_REQUIRED web_page)
# The page's GL layer drawing natively on Mesa against the desktop's GL.
add_test(NAME web.layer_frame COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/layer_frame.sh $<TARGET_FILE:disco-capture>
                                      $<TARGET_FILE:disco-capture-gl1>)
set_tests_properties(web.layer_frame PROPERTIES LABELS web TIMEOUT 300)
