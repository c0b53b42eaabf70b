# station_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...])
#   A GoogleTest executable; each TEST becomes its own ctest entry.
# station_add_qtest(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...])
#   A Qt Test executable under the offscreen platform; one ctest entry.
# Tests labelled "e2e" start their own pcscd and virtual tokens (tests/support).
include(GoogleTest)

function(station_add_gtest name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    # An empty value would drop out of the PROPERTIES list and shift the pairs.
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}" TIMEOUT 300)
endfunction()

function(station_add_qtest name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "gui;${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}" TIMEOUT 300)
endfunction()
