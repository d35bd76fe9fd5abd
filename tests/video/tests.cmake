# disco-capture --video: the file it writes, bad input, its memory, and the file in headless Chromium.
find_program(PYTHON3 python3 REQUIRED)
foreach(group File BadInput Memory Browser)
  string(TOLOWER ${group} name)
  add_test(NAME video.${name} COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_video.py $<TARGET_FILE:disco-capture> ${group})
  set_tests_properties(video.${name} PROPERTIES LABELS video TIMEOUT 600)
endforeach()
