# GoogleTest for the test programs: the host's package natively, Debian's
# sources cross-built for Windows.
if(CMAKE_CROSSCOMPILING)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()

# One CTest entry per program; each writes its cases to test-results/<name>.xml,
# which scripts/test counts.
function(lineprobe_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${LINEPROBE_WARNINGS})
    add_test(NAME ${name}
             COMMAND ${name} --gtest_output=xml:${LINEPROBE_RESULTS_DIR}/${name}.xml)
endfunction()

# A script-driven test (bash, using tests/lib/shtest.sh); it gets the preset's
# bitness, the build folder and the results folder in its environment.
function(lineprobe_add_script_test name script)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(bits win32)
    else()
        set(bits win64)
    endif()
    add_test(NAME ${name} COMMAND bash ${script} ${ARGN})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "LINEPROBE_BITS=${bits};LINEPROBE_BUILD_DIR=${CMAKE_BINARY_DIR};LINEPROBE_RESULTS_DIR=${LINEPROBE_RESULTS_DIR};LINEPROBE_ROOT=${PROJECT_SOURCE_DIR}")
endfunction()
