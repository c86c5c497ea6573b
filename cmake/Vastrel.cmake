# Helpers shared by every folder of the tree.

# vastrel_library(<name> <folder-alias> SOURCES ...)
# One static library per folder, with an alias target vastrel::<alias>.
function(vastrel_library name alias)
    cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    add_library(vastrel::${alias} ALIAS ${name})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# vastrel_test(<name> SOURCES ... LIBS ...)
# One GoogleTest executable per library; every test is listed by ctest.
function(vastrel_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} vastrel::test_support GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60)
endfunction()
