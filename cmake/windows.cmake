# The Windows build: the release launcher, the test programs that run under Wine, and the
# end-to-end tests that drive the release launcher.

enable_language(RC)
# Debian's own interpreter, which sees the packages that script/bootstrap installs (pefile),
# whatever python3 comes first on PATH.
set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The interpreter of the tools and tests")
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# --- The launcher -------------------------------------------------------------------------------

# Small and self-contained: no exceptions or run-time type information, unused sections dropped,
# every library linked in statically so that only system DLLs are imported, and no time stamp,
# so that two builds of one commit give the same bytes. Hardened as scanners expect: a canary on
# every stack frame that holds a buffer (platform/stack_guard.cpp is what it calls on), and the
# image marked as installing no frame-based exception handler, which nothing in it does, so that
# one planted by an overrun is never called; address space layout randomisation and
# no-execute data are the linker's defaults.
set(VT_PROGRAM_COMPILE_OPTIONS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections -fstack-protector-strong
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
set(VT_PROGRAM_LINK_OPTIONS -static -mwindows -s -Wl,--gc-sections -Wl,--no-insert-timestamp
    -Wl,--no-seh)

add_library(vtconsole_logic STATIC ${VT_PORTABLE_SOURCES} ${VT_WINDOWS_SOURCES})
target_include_directories(vtconsole_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vtconsole_logic PRIVATE ${VT_WARNINGS} ${VT_PROGRAM_COMPILE_OPTIONS})
# The version the account of a start names, the one of the version resource.
target_compile_definitions(vtconsole_logic PUBLIC VT_VERSION="${PROJECT_VERSION}")
# A library of its own, so that it is linked in only where compiled code checks a canary: the
# build test sees its random source in the imports for as long as the canaries are there.
add_library(vtconsole_stack_guard STATIC platform/stack_guard.cpp)
target_include_directories(vtconsole_stack_guard PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(vtconsole_stack_guard PRIVATE ${VT_WARNINGS} ${VT_PROGRAM_COMPILE_OPTIONS})
target_link_libraries(vtconsole_logic PUBLIC vtconsole_stack_guard)

set(VT_ICON_FILE ${CMAKE_BINARY_DIR}/VTConsole.ico)
set(VT_MANIFEST_FILE ${CMAKE_SOURCE_DIR}/launcher/VTConsole.manifest)
add_custom_command(OUTPUT ${VT_ICON_FILE}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${VT_ICON_FILE}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
    COMMENT "Drawing the application icon")
configure_file(launcher/resources.rc.in ${CMAKE_BINARY_DIR}/resources.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/resources.rc PROPERTIES
    OBJECT_DEPENDS "${VT_ICON_FILE};${VT_MANIFEST_FILE}")

add_executable(VTConsole WIN32
    launcher/main.cpp platform/platform_win32.cpp ${CMAKE_BINARY_DIR}/resources.rc)
target_link_libraries(VTConsole PRIVATE vtconsole_logic ws2_32)
target_compile_options(VTConsole PRIVATE ${VT_WARNINGS} ${VT_PROGRAM_COMPILE_OPTIONS})
target_link_options(VTConsole PRIVATE ${VT_PROGRAM_LINK_OPTIONS})
add_custom_command(TARGET VTConsole POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E echo "VTConsole.exe: $<TARGET_FILE:VTConsole>"
    COMMAND stat -c "VTConsole.exe size: %s bytes" $<TARGET_FILE:VTConsole>
    VERBATIM)

option(VT_BUILD_TESTS "Build the test programs and register the tests" ON)
if(NOT VT_BUILD_TESTS)
    return()
endif()

# --- Test programs under Wine --------------------------------------------------------------------

# The test programs link the same logic, compiled with exceptions so that the test platform can
# stand in for ExitProcess, and the fault-injecting platform instead of the production one.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(vtconsole_testable STATIC ${VT_PORTABLE_SOURCES} ${VT_WINDOWS_SOURCES}
    tests/support/fault_platform.cpp tests/support/scratch_directory.cpp)
target_include_directories(vtconsole_testable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vtconsole_testable PRIVATE ${VT_WARNINGS})
target_compile_definitions(vtconsole_testable PUBLIC VT_VERSION="${PROJECT_VERSION}")
target_link_libraries(vtconsole_testable PUBLIC GTest::gtest ws2_32)

file(GLOB VT_WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
add_executable(wine_tests ${VT_WINE_TEST_SOURCES} tests/support/no_debug_output.cpp)
target_link_libraries(wine_tests PRIVATE vtconsole_testable GTest::gtest_main)
target_link_options(wine_tests PRIVATE -static)

# Stand-in programs that the end-to-end tests put where the launcher expects real ones.
file(GLOB VT_STANDIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/standins/*.c)
foreach(source ${VT_STANDIN_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(standin_${name} WIN32 ${source})
    target_compile_options(standin_${name} PRIVATE -Os -Wall -Wextra)
    target_link_options(standin_${name} PRIVATE -static -s)
    list(APPEND VT_STANDINS standin_${name})
endforeach()
add_custom_target(standins ALL DEPENDS ${VT_STANDINS})

# --- Running tests ----------------------------------------------------------------------------

# Where qemu runs 32-bit Wine, its preload setting (QEMU_SET_ENV) comes from script/wine-env in
# the shell that runs ctest: a value taken when the build was configured would be the one of
# whichever shell last did so, and an empty one stops qemu from starting anything at all.

set(VT_WINE_ENVIRONMENT
    "WINEPREFIX=${CMAKE_BINARY_DIR}/wine/tests"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml=")

# Every entry has a time limit of a few times what it takes where qemu runs Wine (the slower kind
# of machine), with a new prefix to make: a test that hangs fails instead of holding the run.
add_test(NAME wine_tests COMMAND ${CMAKE_SOURCE_DIR}/tests/run-in-wine $<TARGET_FILE:wine_tests>
    --gtest_filter=-FaultSweep.*)
set_tests_properties(wine_tests PROPERTIES ENVIRONMENT "${VT_WINE_ENVIRONMENT}" TIMEOUT 300)
# The whole-start fault sweep takes longest: it runs beside the rest, in a prefix of its own.
add_test(NAME fault_sweep COMMAND ${CMAKE_SOURCE_DIR}/tests/run-in-wine $<TARGET_FILE:wine_tests>
    --gtest_filter=FaultSweep.*)
set_tests_properties(fault_sweep PROPERTIES ENVIRONMENT
    "${VT_WINE_ENVIRONMENT};WINEPREFIX=${CMAKE_BINARY_DIR}/wine/sweep" TIMEOUT 600)

# One ctest entry per end-to-end module; each runs in a Wine prefix of its own. The modules that
# build a release or wait out a self-update's retries take longest.
file(GLOB VT_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(module ${VT_E2E_TESTS})
    get_filename_component(name ${module} NAME_WE)
    add_test(NAME e2e_${name}
        COMMAND ${Python3_EXECUTABLE} -m unittest -v ${name}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set(limit 300)
    if(name MATCHES "^test_(release|update)$")
        set(limit 600)
    endif()
    set_tests_properties(e2e_${name} PROPERTIES
        ENVIRONMENT "VT_BUILD_DIR=${CMAKE_BINARY_DIR};VT_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
        TIMEOUT ${limit})
endforeach()

# --- Benchmarks (script/bench) ------------------------------------------------------------------

# The launcher's own merge and rewrite, built as in the release program; the floor programs
# that do only the unavoidable work with the same Win32 calls; and the programs that make
# exactly the calls the launcher is bound to make.
foreach(name merge rewrite)
    add_executable(bench_${name} bench/bench_${name}.cpp platform/platform_win32.cpp)
    target_link_libraries(bench_${name} PRIVATE vtconsole_logic ws2_32)
    target_compile_options(bench_${name} PRIVATE ${VT_PROGRAM_COMPILE_OPTIONS})
    target_link_options(bench_${name} PRIVATE -static -s)
endforeach()
foreach(name starter floor_start floor_merge floor_rewrite op_costs)
    add_executable(bench_${name} bench/${name}.c)
    target_compile_options(bench_${name} PRIVATE -O2 -Wall -Wextra)
    target_link_options(bench_${name} PRIVATE -static -s)
endforeach()
foreach(name required_start required_merge required_rewrite)
    add_executable(bench_${name} bench/${name}.c)
    target_compile_options(bench_${name} PRIVATE -O2 -Wall -Wextra)
    target_link_options(bench_${name} PRIVATE -static -s)
endforeach()
target_sources(bench_required_start PRIVATE bench/required_connections.c)
target_sources(bench_required_rewrite PRIVATE bench/required_connections.c)
target_link_libraries(bench_required_start PRIVATE ws2_32)
target_link_libraries(bench_required_rewrite PRIVATE ws2_32)
set_target_properties(bench_floor_start bench_required_start PROPERTIES WIN32_EXECUTABLE ON)
