# Tests of the window, picture loading, the plain functions and the program.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

set(VELDAR_TEST_ENV "QT_QPA_PLATFORM=offscreen")

add_executable(plain_tests plain_test.cpp arguments_test.cpp)
target_link_libraries(plain_tests PRIVATE veldar_ui veldar_cli GTest::gtest_main)
target_compile_definitions(plain_tests PRIVATE VELDAR_VERSION="${PROJECT_VERSION}")
gtest_discover_tests(plain_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}")

add_executable(mainwindow_tests mainwindow_test.cpp)
target_link_libraries(mainwindow_tests PRIVATE veldar_ui Qt6::Test)
set_target_properties(mainwindow_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(mainwindow_tests PRIVATE VELDAR_PROGRAM="$<TARGET_FILE:veldar-convert>"
    VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(mainwindow_tests veldar-convert veldar-render)
# Each test function of the window a test of its own, so that one failure
# hides none of the others: the private slots of the test class, read from
# its source (which configuring again follows).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/mainwindow_test.cpp)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/mainwindow_test.cpp mainwindow_source)
string(REGEX REPLACE ".*private Q_SLOTS:" "" mainwindow_slots "${mainwindow_source}")
string(REGEX MATCHALL "\n    void [A-Za-z0-9_]+\\(\\) {" mainwindow_functions "${mainwindow_slots}")
foreach(function IN LISTS mainwindow_functions)
    string(REGEX REPLACE "\n    void ([A-Za-z0-9_]+).*" "\\1" function "${function}")
    if(function MATCHES "^(init|cleanup|initTestCase|cleanupTestCase)$")
        continue()
    endif()
    add_test(NAME MainWindow.${function} COMMAND mainwindow_tests ${function})
    set_tests_properties(MainWindow.${function} PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}"
        TIMEOUT 300)
endforeach()

add_executable(loading_tests loading_test.cpp)
target_link_libraries(loading_tests PRIVATE veldar_ui veldar_render Qt6::Test)
set_target_properties(loading_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(loading_tests PRIVATE
    VELDAR_PICTURE_CORPUS="${VELDAR_PICTURE_CORPUS}"
    VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(loading_tests veldar-render)
add_test(NAME loading_tests COMMAND loading_tests)
set_tests_properties(loading_tests PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}" TIMEOUT 300)

add_executable(cli_tests cli_test.cpp)
target_link_libraries(cli_tests PRIVATE grob_engine Qt6::Gui GTest::gtest)
target_compile_definitions(cli_tests PRIVATE VELDAR_PROGRAM="$<TARGET_FILE:veldar-convert>"
    VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
    VELDAR_RESOURCES="${PROJECT_BINARY_DIR}/resources"
    VELDAR_JPEG_SONAME="${VELDAR_JPEG_SONAME}" VELDAR_GIF_SONAME="${VELDAR_GIF_SONAME}"
    VELDAR_EXIF_SONAME="${VELDAR_EXIF_SONAME}" VELDAR_WMF_SONAME="${VELDAR_WMF_SONAME}")
add_dependencies(cli_tests veldar-convert veldar-render option_docs)
# The JPEG, GIF and Exif libraries with a function missing, each a file named
# by the library's soname in one folder, which the tests put on the library path.
foreach(library JPEG GIF EXIF)
    add_library(partial_${library} SHARED partial_library.cpp)
    target_compile_definitions(partial_${library} PRIVATE VELDAR_PARTIAL_${library})
    set_target_properties(partial_${library} PROPERTIES PREFIX "" SUFFIX ""
        OUTPUT_NAME ${VELDAR_${library}_SONAME}
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/partial)
    add_dependencies(cli_tests partial_${library})
endforeach()
target_compile_definitions(cli_tests PRIVATE
    VELDAR_PARTIAL_LIBRARIES="${CMAKE_CURRENT_BINARY_DIR}/partial")
# veldar-convert starts with libpng alone: no Qt, no JPEG, GIF or Exif
# library (opened when a picture needs them), and the C++ runtime its own.
find_program(LDD ldd)
if(LDD)
    set(unwanted "libQt|libjpeg|libgif|libexif")
    if(VELDAR_STATIC_CXX_RUNTIME AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
        string(APPEND unwanted "|libstdc")
    endif()
    add_test(NAME convert_starts_light COMMAND sh -c
        "${LDD} \"$1\" | grep -q libpng && ! ${LDD} \"$1\" | grep -E \"$2\"" sh
        $<TARGET_FILE:veldar-convert> "${unwanted}")
endif()
gtest_discover_tests(cli_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}" TIMEOUT 120)

# The windows' geometry under a real window manager, where they have frames.
find_program(XVFB Xvfb)
find_program(OPENBOX openbox)
find_program(XWININFO xwininfo)
find_program(XDOTOOL xdotool)
if(XVFB AND OPENBOX AND XWININFO AND XDOTOOL)
    add_test(NAME wm_geometry COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wm_geometry.sh
        $<TARGET_FILE:veldar-convert>)
    set_tests_properties(wm_geometry PROPERTIES TIMEOUT 120 RUN_SERIAL ON)
else()
    message(STATUS "Xvfb, openbox, xwininfo or xdotool missing: the window-manager test is left out")
endif()

find_package(PNG REQUIRED)
add_executable(codecs_tests codecs_test.cpp)
target_link_libraries(codecs_tests PRIVATE veldar_loading veldar_codecs veldar_render grob_engine PNG::PNG
    GTest::gtest)
target_compile_definitions(codecs_tests PRIVATE
    VELDAR_PICTURE_CORPUS="${VELDAR_PICTURE_CORPUS}"
    VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
gtest_discover_tests(codecs_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}" TIMEOUT 300)

add_executable(sprites_tests sprites_test.cpp)
target_link_libraries(sprites_tests PRIVATE veldar_pipeline Qt6::Gui GTest::gtest)
add_dependencies(sprites_tests veldar-render)
gtest_discover_tests(sprites_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}" TIMEOUT 120)

# The web page's API, natively: series, text forms, composition, refusals.
add_executable(web_api_tests web_api_test.cpp)
target_link_libraries(web_api_tests PRIVATE veldar_web_api veldar_render GTest::gtest_main)
target_compile_definitions(web_api_tests PRIVATE VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
gtest_discover_tests(web_api_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}")
# The desktop: the Qt image plugin and the thumbnailer, from the build.
add_executable(desktop_tests desktop_test.cpp)
target_link_libraries(desktop_tests PRIVATE Qt6::Gui GTest::gtest)
target_compile_definitions(desktop_tests PRIVATE VELDAR_BIN="${PROJECT_BINARY_DIR}/bin"
    VELDAR_PLUGINS="${PROJECT_BINARY_DIR}/plugins"
    VELDAR_THUMBNAILERS="${PROJECT_BINARY_DIR}/thumbnailers"
    VELDAR_MIME="${PROJECT_SOURCE_DIR}/resources/veldar-convert-mime.xml"
    VELDAR_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
add_dependencies(desktop_tests veldar-convert veldar-render veldar-thumbnailer
    veldar_grob_imageformat)
gtest_discover_tests(desktop_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${VELDAR_TEST_ENV}" TIMEOUT 120)

# The desktop's own readers, each through its public interface
# (viewers_test.py, against --to png): gdk-pixbuf with the loader built, Qt 5
# (qt5_reader, with the Qt 5 plugin built), tumbler over D-Bus and GNOME's
# thumbnail factory with the thumbnailer's entry. Each is skipped, saying
# why, when its consumer is not installed. Debian's own python3 runs them:
# python3-gi is for it alone.
set(QT_NO_CREATE_VERSIONLESS_FUNCTIONS ON)
set(QT_NO_CREATE_VERSIONLESS_TARGETS ON)
find_package(Qt5 5.15 REQUIRED COMPONENTS Core Gui)
add_executable(qt5_reader qt5_reader.cpp)
target_link_libraries(qt5_reader PRIVATE Qt5::Gui)
add_dependencies(qt5_reader veldar_grob_imageformat_qt5)
find_program(VELDAR_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
foreach(consumer pixbuf qt5 tumbler gnome)
    add_test(NAME viewers.${consumer} COMMAND ${VELDAR_SYSTEM_PYTHON3}
        ${CMAKE_CURRENT_SOURCE_DIR}/viewers_test.py ${consumer} ${PROJECT_BINARY_DIR}
        ${PROJECT_SOURCE_DIR})
    set_tests_properties(viewers.${consumer} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300
        ENVIRONMENT "${VELDAR_TEST_ENV}")
endforeach()
