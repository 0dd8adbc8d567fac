# Tests of the window and the plain functions behind it.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

add_executable(plain_tests plain_test.cpp)
target_link_libraries(plain_tests PRIVATE veldar_ui GTest::gtest_main)
gtest_discover_tests(plain_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(form1_tests form1_test.cpp)
target_link_libraries(form1_tests PRIVATE veldar_ui Qt6::Test)
set_target_properties(form1_tests PROPERTIES AUTOMOC ON)
add_test(NAME form1_tests COMMAND form1_tests)
set_tests_properties(form1_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)

add_executable(loading_tests loading_test.cpp)
target_link_libraries(loading_tests PRIVATE veldar_ui Qt6::Test)
set_target_properties(loading_tests PROPERTIES AUTOMOC ON)
target_compile_definitions(loading_tests PRIVATE
    VELDAR_SHARED_PICTURES="${PROJECT_SOURCE_DIR}/../shared/testdata/pictures")
add_test(NAME loading_tests COMMAND loading_tests)
set_tests_properties(loading_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)

add_executable(cli_tests cli_test.cpp)
target_link_libraries(cli_tests PRIVATE grob_engine Qt6::Gui GTest::gtest)
target_include_directories(cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(cli_tests PRIVATE VELDAR_PROGRAM="$<TARGET_FILE:veldar-convert>")
add_dependencies(cli_tests veldar-convert veldar-metafile)
gtest_discover_tests(cli_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
