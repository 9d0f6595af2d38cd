# GoogleTest for the test programs: the host's package natively, Debian's
# sources cross-built for Windows.
if(CMAKE_CROSSCOMPILING)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # A patched copy: on Windows GoogleTest starts a watcher thread per thread
    # that uses its thread-local values (any failure, any SCOPED_TRACE) to free
    # them when that thread ends. Under 32-bit Wine in qemu the watcher's wait
    # fails and aborts the whole program, so no report is written. Test
    # programs can do without that clean-up.
    set(gtest_copy ${CMAKE_BINARY_DIR}/googletest-src)
    if(NOT EXISTS ${gtest_copy}/CMakeLists.txt)
        file(COPY /usr/src/googletest/ DESTINATION ${gtest_copy})
        set(port ${gtest_copy}/googletest/src/gtest-port.cc)
        file(READ ${port} port_text)
        set(watcher "  static void StartWatcherThreadFor(DWORD thread_id) {\n")
        string(FIND "${port_text}" "${watcher}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "GoogleTest's watcher thread start was not found in ${port}")
        endif()
        string(REPLACE "${watcher}" "${watcher}    if (thread_id != 0) return;\n" port_text "${port_text}")
        file(WRITE ${port} "${port_text}")
    endif()
    add_subdirectory(${gtest_copy} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # Every 32-bit test program waits at its end for the thread pool's idle threads.
        target_sources(gtest_main INTERFACE ${PROJECT_SOURCE_DIR}/tests/lib/IdlePoolThreads.cpp)
    endif()
else()
    find_package(GTest REQUIRED)
endif()

# One CTest entry per program; each writes its cases to test-results/<name>.xml,
# which scripts/test counts. ARGS go to the program (a filter for cases that
# another entry runs).
function(lineprobe_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${LINEPROBE_WARNINGS})
    add_test(NAME ${name}
             COMMAND ${name} ${ARG_ARGS} --gtest_output=xml:${LINEPROBE_RESULTS_DIR}/${name}.xml)
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
