# Frames rendered by the real GL (Mesa, offscreen) and checked where a viewer would look.
add_executable(disco_golden_tests ${CMAKE_CURRENT_LIST_DIR}/GoldenFrameTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FrameGeometry.cpp)
target_include_directories(disco_golden_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(disco_golden_tests PRIVATE disco_capture_lib disco_offscreen GTest::gtest_main)
target_compile_definitions(disco_golden_tests PRIVATE
  GOLDEN_REFERENCE="${CMAKE_CURRENT_LIST_DIR}/reference-320x180.png")
add_dependencies(disco_golden_tests disco_resources)
gtest_discover_tests(disco_golden_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS golden)
