# kelvara_add_test(name SOURCES ... LIBS ... [SERVER]): one QtTest executable registered with CTest.
# With SERVER it is registered a second time as name_pg, running on the throwaway PostgreSQL
# cluster that the test fixture pgserver starts (tests/pgcluster) and removes at the end.

# The server tests run wherever the PostgreSQL server is installed (the package postgresql), unless
# -DKELVARA_NO_SERVER_TESTS=ON; it is looked for at every configuration.
file(GLOB KELVARA_PG_CTL /usr/lib/postgresql/*/bin/pg_ctl)
if(KELVARA_PG_CTL AND NOT KELVARA_NO_SERVER_TESTS)
    set(KELVARA_SERVER_TESTS ON)
else()
    set(KELVARA_SERVER_TESTS OFF)
endif()
set(KELVARA_PG_DIR ${CMAKE_BINARY_DIR}/pgtest)

function(kelvara_add_server_fixture)
    if(NOT KELVARA_SERVER_TESTS)
        return()
    endif()
    add_test(NAME pg_cluster_start COMMAND ${CMAKE_SOURCE_DIR}/tests/pgcluster start ${KELVARA_PG_DIR})
    add_test(NAME pg_cluster_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/pgcluster stop ${KELVARA_PG_DIR})
    set_tests_properties(pg_cluster_start PROPERTIES FIXTURES_SETUP pgserver TIMEOUT 120)
    set_tests_properties(pg_cluster_stop PROPERTIES FIXTURES_CLEANUP pgserver TIMEOUT 120)
endfunction()

function(kelvara_add_test name)
    cmake_parse_arguments(ARG "SERVER" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test kelvara_testcommon ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
        TIMEOUT 300)
    if(ARG_SERVER AND KELVARA_SERVER_TESTS)
        add_test(NAME ${name}_pg COMMAND ${name})
        set_tests_properties(${name}_pg PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;KELVARA_TEST_ENGINE=postgresql;KELVARA_TEST_SERVER=${KELVARA_PG_DIR}/address"
            FIXTURES_REQUIRED pgserver
            TIMEOUT 300)
    endif()
endfunction()
