# The music player against SDL's disk audio driver: what reaches the device, seam by seam.
# Fixtures are made at test time with the ffmpeg tool.

add_executable(music_capture ${CMAKE_CURRENT_LIST_DIR}/music_capture.cpp)
target_link_libraries(music_capture PRIVATE disco_services)

find_program(DISCO_MUSIC_FFMPEG ffmpeg)
find_program(DISCO_MUSIC_PYTHON python3)
if(DISCO_MUSIC_FFMPEG AND DISCO_MUSIC_PYTHON)
  # Short files of several codecs, rates and channel counts, each round at least two seams.
  add_test(NAME music.seams_fixtures
    COMMAND ${DISCO_MUSIC_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_seams.py $<TARGET_FILE:music_capture> fixtures)
  # The demo's own loop, 64 s, round two seams with the disk driver at about six times real time (64 ms for a 372 ms buffer).
  add_test(NAME music.seams_tralmix
    COMMAND ${DISCO_MUSIC_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_seams.py $<TARGET_FILE:music_capture>
            ${CMAKE_SOURCE_DIR}/resources/tralmix.m4a --samples 2822400 --rate 44100 --delay 64)
  # check_seams.py waits for the passes it needs, with a deadline of its own; this only ends a hang.
  set_tests_properties(music.seams_fixtures music.seams_tralmix PROPERTIES LABELS music TIMEOUT 900)
endif()

# Through PulseAudio and PipeWire, each started by the test with a null sink: the loop without a
# dropout, and the music back after a server restart and a late start.
find_program(DISCO_MUSIC_PULSEAUDIO pulseaudio)
find_program(DISCO_MUSIC_PIPEWIRE pipewire)
if(DISCO_MUSIC_FFMPEG AND DISCO_MUSIC_PYTHON AND DISCO_MUSIC_PULSEAUDIO AND DISCO_MUSIC_PIPEWIRE)
  add_test(NAME music.sound_servers
    COMMAND ${DISCO_MUSIC_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/test_sound_servers.py $<TARGET_FILE:music_capture>)
  set_tests_properties(music.sound_servers PROPERTIES LABELS music TIMEOUT 900)
endif()

# A party's music: three players following one clock, one on a drifting sound card, recorded
# together through PipeWire. Debian's own Python, for numpy.
if(DISCO_MUSIC_PIPEWIRE AND EXISTS /usr/bin/python3)
  add_test(NAME music.party
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_party_music.py $<TARGET_FILE:music_capture>)
  set_tests_properties(music.party PROPERTIES LABELS music TIMEOUT 900)
  add_dependencies(music_capture skewed_sound_clock)
endif()

# A guest's music: a member serving the page and the page in headless Chromium, recorded together
# through PulseAudio. Needs the page built first (web.build).
if(DISCO_MUSIC_PULSEAUDIO AND EXISTS /usr/bin/python3)
  add_test(NAME music.guest
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/test_guest_music.py $<TARGET_FILE:disco> ${CMAKE_BINARY_DIR}/web)
  set_tests_properties(music.guest PROPERTIES LABELS music TIMEOUT 600 FIXTURES_REQUIRED web_page
                       ENVIRONMENT "DISCO_SWAP_PROBE=$<TARGET_FILE:e2e_swap_probe>")
endif()
