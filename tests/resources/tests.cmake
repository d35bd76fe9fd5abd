# Checks of the committed files in resources/ (see tools/make-resources.sh).
# Standard-library Python plus ffprobe/ffmpeg; nothing to build.

find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(DISCO_RES_PYTHON "${Python3_EXECUTABLE}")
else()
  set(DISCO_RES_PYTHON python3)
endif()
find_program(DISCO_FFPROBE ffprobe)
find_program(DISCO_FFMPEG ffmpeg)

set(DISCO_RES_DIR "${CMAKE_SOURCE_DIR}/resources")
set(DISCO_RES_TESTS "${CMAKE_SOURCE_DIR}/tests/resources")
# The loop's length: 32 bars at 120 BPM (tools/gen_music.py).
set(DISCO_LOOP_ARGS --bars 32 --bpm 120 --ffprobe ${DISCO_FFPROBE} --ffmpeg ${DISCO_FFMPEG})

add_test(NAME resources.image_formats
  COMMAND ${DISCO_RES_PYTHON} ${DISCO_RES_TESTS}/check_images.py formats ${DISCO_RES_DIR})
add_test(NAME resources.font_strip
  COMMAND ${DISCO_RES_PYTHON} ${DISCO_RES_TESTS}/check_images.py font ${DISCO_RES_DIR})
add_test(NAME resources.image_content
  COMMAND ${DISCO_RES_PYTHON} ${DISCO_RES_TESTS}/check_images.py sprites ${DISCO_RES_DIR})
add_test(NAME resources.music_length
  COMMAND ${DISCO_RES_PYTHON} ${DISCO_RES_TESTS}/check_music.py length
          ${DISCO_RES_DIR}/tralmix.m4a ${DISCO_LOOP_ARGS})
add_test(NAME resources.music_seam
  COMMAND ${DISCO_RES_PYTHON} ${DISCO_RES_TESTS}/check_music.py seam
          ${DISCO_RES_DIR}/tralmix.m4a ${DISCO_LOOP_ARGS})

set_tests_properties(resources.image_formats resources.font_strip resources.image_content
                     resources.music_length resources.music_seam
                     PROPERTIES LABELS resources TIMEOUT 120)
