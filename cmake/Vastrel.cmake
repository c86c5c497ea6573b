# Helpers shared by every folder of the tree.

# vastrel_library(<name> <folder-alias> SOURCES ...)
# One static library per folder, with an alias target vastrel::<alias>.
function(vastrel_library name alias)
    cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    add_library(vastrel::${alias} ALIAS ${name})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# Time-outs of one test (seconds) by label.
set(VASTREL_TIMEOUT_unit 120)
set(VASTREL_TIMEOUT_gui 120)
set(VASTREL_TIMEOUT_server 300)
set(VASTREL_TIMEOUT_slow 600)

# Registers the tests of a test program with ctest: every test is named "<prefix>.<Suite>.<Test>" and
# carries one label: "server" when it matches a gtest filter of SERVER_TESTS (it needs a real server),
# "slow" when it matches one of SLOW_TESTS (these start first, so they run beside the rest), else
# `label` ("unit" or "gui"). The label decides the time-out.
function(_vastrel_discover target prefix label)
    cmake_parse_arguments(ARG "" "" "SERVER_TESTS;SLOW_TESTS" ${ARGN})
    string(REPLACE ";" ":" server "${ARG_SERVER_TESTS}")
    string(REPLACE ";" ":" slow "${ARG_SLOW_TESTS}")
    set(common TEST_PREFIX "${prefix}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
    set(rest "")
    if(server OR slow)
        set(rest "-${server}")
        if(server AND slow)
            string(APPEND rest ":")
        endif()
        string(APPEND rest "${slow}")
    endif()
    if(rest)
        gtest_discover_tests(${target} ${common} TEST_FILTER "${rest}"
            PROPERTIES LABELS "${label}" TIMEOUT ${VASTREL_TIMEOUT_${label}})
    else()
        gtest_discover_tests(${target} ${common}
            PROPERTIES LABELS "${label}" TIMEOUT ${VASTREL_TIMEOUT_${label}})
    endif()
    if(server)
        gtest_discover_tests(${target} ${common} TEST_FILTER "${server}"
            PROPERTIES LABELS server TIMEOUT ${VASTREL_TIMEOUT_server})
    endif()
    if(slow)
        gtest_discover_tests(${target} ${common} TEST_FILTER "${slow}"
            PROPERTIES LABELS slow TIMEOUT ${VASTREL_TIMEOUT_slow} COST 1000)
    endif()
endfunction()

# vastrel_test(<folder>_tests SOURCES ... LIBS ... [SERVER_TESTS filter...] [SLOW_TESTS filter...])
# A GoogleTest program of one library; its tests are labelled "unit" (see _vastrel_discover).
function(vastrel_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SERVER_TESTS;SLOW_TESTS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vastrel::test_support vastrel::test_main)
    string(REGEX REPLACE "_tests$" "" prefix ${name})
    _vastrel_discover(${name} ${prefix} unit SERVER_TESTS ${ARG_SERVER_TESTS} SLOW_TESTS ${ARG_SLOW_TESTS})
endfunction()

# vastrel_gui_test(<folder>_gui_tests SOURCES ... LIBS ... [SERVER_TESTS filter...] [SLOW_TESTS filter...])
# A GoogleTest program of a gui/ library: the shared GUI main (QApplication on the offscreen platform),
# the widget helpers and the screenshot registry of tests/support/gui; its tests are labelled "gui".
function(vastrel_gui_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SERVER_TESTS;SLOW_TESTS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vastrel::gui_test_support)
    string(REGEX REPLACE "_tests$" "" prefix ${name})
    _vastrel_discover(${name} ${prefix} gui SERVER_TESTS ${ARG_SERVER_TESTS} SLOW_TESTS ${ARG_SLOW_TESTS})
endfunction()
