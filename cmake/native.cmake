# The native build: the platform-free logic under AddressSanitizer and UBSan, and a fuzz target
# for each text parser. Built with clang, which brings libFuzzer.

set(VT_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(vtconsole_portable STATIC ${VT_PORTABLE_SOURCES})
target_include_directories(vtconsole_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vtconsole_portable PUBLIC ${VT_SANITIZERS} PRIVATE ${VT_WARNINGS})
target_link_options(vtconsole_portable PUBLIC ${VT_SANITIZERS})

file(GLOB VT_NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(native_tests ${VT_NATIVE_TEST_SOURCES})
target_link_libraries(native_tests PRIVATE vtconsole_portable GTest::gtest_main)
add_test(NAME native_tests COMMAND native_tests)
set_tests_properties(native_tests PROPERTIES TIMEOUT 120)

# The verdict of every test run has cases of its own.
add_test(NAME read_reports_test COMMAND /usr/bin/python3 -m unittest -v read_reports_test
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests)
set_tests_properties(read_reports_test PROPERTIES TIMEOUT 60)

# Each tests/fuzz/fuzz_NAME.cpp is a libFuzzer target, run from its seed corpus
# tests/fuzz/corpus/NAME for VT_FUZZ_SECONDS; what it finds new goes to the build folder.
set(VT_FUZZ_SECONDS 20 CACHE STRING "How long each fuzz target runs as a test")
file(GLOB VT_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(source ${VT_FUZZ_SOURCES})
    get_filename_component(target ${source} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" name ${target})
    add_library(${target}_logic STATIC ${VT_PORTABLE_SOURCES})
    target_include_directories(${target}_logic PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(${target}_logic PUBLIC -fsanitize=fuzzer-no-link,address,undefined)
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE ${target}_logic)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    add_test(NAME ${target}
        COMMAND ${target} -max_total_time=${VT_FUZZ_SECONDS} -print_final_stats=1
            ${CMAKE_BINARY_DIR}/fuzz-corpus/${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    math(EXPR limit "${VT_FUZZ_SECONDS} + 120")
    set_tests_properties(${target} PROPERTIES TIMEOUT ${limit})
endforeach()
