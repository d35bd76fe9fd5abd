# The layering, held by the compiler: only platform/ talks to SDL2, FFmpeg, libpulse, libsodium and libpng, and
# platform/ builds on nothing of the folders above it.
#
# Linking those libraries PRIVATE to the platform targets keeps their include folders away from
# everyone else, but most of their headers also sit on the compiler's default path (<png.h>,
# <libavformat/avformat.h>, <SDL2/SDL.h>). So each side gets a folder of same-named headers,
# searched before the default path, each of which stops the compile with a message saying why.

# Writes one stopping header per name under DIR.
function(_disco_fence dir message)
  foreach(name ${ARGN})
    file(WRITE ${dir}/${name} "#error \"${message}\"\n")
  endforeach()
endfunction()

# Outside platform/: every header of SDL2, libpng and FFmpeg, under each name it is reachable by.
set(DISCO_LIBRARY_FENCE ${CMAKE_BINARY_DIR}/fences/platform-libraries)
file(REMOVE_RECURSE ${DISCO_LIBRARY_FENCE})
set(_fenced "")
foreach(dir ${SDL2_INCLUDE_DIRS} ${PNG_INCLUDE_DIRS})
  get_filename_component(folder ${dir} NAME)
  if(folder MATCHES "^(SDL2|libpng[0-9]*)$")  # /usr/include/SDL2: <SDL.h> and <SDL2/SDL.h>
    file(GLOB headers RELATIVE ${dir} ${dir}/*.h)
    foreach(header ${headers})
      list(APPEND _fenced ${header} ${folder}/${header})
    endforeach()
  endif()
endforeach()
# pkg-config names no include folder where FFmpeg's headers sit straight in /usr/include: the
# compiler finds them there anyway, so that folder is fenced too.
find_path(DISCO_FFMPEG_HEADERS libavformat/avformat.h HINTS ${FFMPEG_INCLUDE_DIRS})
set(_ffmpeg_dirs ${FFMPEG_INCLUDE_DIRS})
if(DISCO_FFMPEG_HEADERS)
  list(APPEND _ffmpeg_dirs ${DISCO_FFMPEG_HEADERS})
  list(REMOVE_DUPLICATES _ffmpeg_dirs)
endif()
foreach(dir ${_ffmpeg_dirs})  # <libavcodec/avcodec.h>, <libswscale/swscale.h>, ...
  file(GLOB_RECURSE headers RELATIVE ${dir} ${dir}/libav*/*.h ${dir}/libsw*/*.h ${dir}/libpostproc/*.h)
  list(APPEND _fenced ${headers})
endforeach()
# libpulse, for a party's music: <pulse/pulseaudio.h> and the rest of its folder.
find_path(DISCO_PULSE_HEADERS pulse/pulseaudio.h HINTS ${PULSE_INCLUDE_DIRS})
if(DISCO_PULSE_HEADERS)
  file(GLOB headers RELATIVE ${DISCO_PULSE_HEADERS} ${DISCO_PULSE_HEADERS}/pulse/*.h)
  list(APPEND _fenced ${headers})
endif()
# libsodium, for a party's messages: <sodium.h> and <sodium/*.h>.
find_path(DISCO_SODIUM_HEADERS sodium.h HINTS ${SODIUM_INCLUDE_DIRS})
if(DISCO_SODIUM_HEADERS)
  file(GLOB headers RELATIVE ${DISCO_SODIUM_HEADERS} ${DISCO_SODIUM_HEADERS}/sodium.h ${DISCO_SODIUM_HEADERS}/sodium/*.h)
  list(APPEND _fenced ${headers})
endif()
list(REMOVE_DUPLICATES _fenced)
foreach(required SDL.h SDL2/SDL.h png.h libavformat/avformat.h libavutil/log.h pulse/pulseaudio.h sodium.h)
  if(NOT required IN_LIST _fenced)
    message(FATAL_ERROR "Boundaries.cmake: <${required}> not found to fence off; the layering would go unchecked")
  endif()
endforeach()
_disco_fence(${DISCO_LIBRARY_FENCE} "only platform/ may include SDL2, FFmpeg, libpulse, libsodium or libpng headers" ${_fenced})

# Inside platform/: the headers of the folders that build on it.
set(DISCO_PLATFORM_FENCE ${CMAKE_BINARY_DIR}/fences/platform)
file(REMOVE_RECURSE ${DISCO_PLATFORM_FENCE})
file(GLOB _above RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/support/*.h ${CMAKE_SOURCE_DIR}/scene/*.h ${CMAKE_SOURCE_DIR}/objects/*.h
     ${CMAKE_SOURCE_DIR}/app/*.h ${CMAKE_SOURCE_DIR}/app/*/*.h)
_disco_fence(${DISCO_PLATFORM_FENCE} "platform/ builds on nothing of support/, scene/, objects/ or app/" ${_above})

# Code outside platform/ that must not reach SDL2, FFmpeg or libpng (not the tests and probes,
# which make PNG files and drive SDL themselves).
function(disco_outside_platform)
  foreach(target ${ARGN})
    target_include_directories(${target} BEFORE PRIVATE ${DISCO_LIBRARY_FENCE})
  endforeach()
endfunction()

# platform/ code, which must not reach the folders above it.
function(disco_inside_platform)
  foreach(target ${ARGN})
    target_include_directories(${target} BEFORE PRIVATE ${DISCO_PLATFORM_FENCE})
  endforeach()
endfunction()
