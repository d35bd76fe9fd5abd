# The web page's GL 1.x layer (platform/web/gl1), built natively too. WebGL 1 is OpenGL ES 2, which
# Mesa's desktop GL also takes, so here the layer draws the scene on Mesa as it does in the page:
# its tests compare that with the desktop's frame, and the benchmarks record what it hands WebGL.

# The layer's logic alone: no GL calls.
add_library(disco_gl1 STATIC platform/web/gl1/Matrix.cpp platform/web/gl1/FixedFunction.cpp platform/web/gl1/Report.cpp)
target_include_directories(disco_gl1 PUBLIC ${CMAKE_SOURCE_DIR})

# The scene, its objects and the capture compiled against the layer's GL header, as the page
# compiles them, with the layer's entry points and its WebGL renderer.
add_library(disco_capture_gl1_lib STATIC ${CORE_SOURCES} app/capture/CaptureOptions.cpp app/capture/FrameCapture.cpp
            app/capture/InOrderWorker.cpp app/capture/Progress.cpp platform/web/Glu.cpp
            platform/web/gl1/Entry.cpp platform/web/gl1/WebGLRenderer.cpp)
target_include_directories(disco_capture_gl1_lib BEFORE PUBLIC ${CMAKE_SOURCE_DIR}/platform/web/gl)
target_link_libraries(disco_capture_gl1_lib PUBLIC disco_gl1 disco_services disco_offscreen)

# disco-capture drawing through the layer.
add_executable(disco-capture-gl1 app/capture/main.cpp app/capture/VideoExport.cpp)
target_link_libraries(disco-capture-gl1 PRIVATE disco_capture_gl1_lib disco_offscreen disco_video)
target_compile_definitions(disco-capture-gl1 PRIVATE DISCO_VERSION="${PROJECT_VERSION}")
add_dependencies(disco-capture-gl1 disco_resources)
disco_outside_platform(disco_capture_gl1_lib disco-capture-gl1)

# What the layer hands WebGL for the scene's frames, drawn back by the web benchmark's plain WebGL
# page (bench/web_report.py): built always, it is small.
add_executable(record_web_frames bench/record_web_frames.cpp)
target_link_libraries(record_web_frames PRIVATE disco_capture_gl1_lib)
add_dependencies(record_web_frames disco_resources)
