# Tests on the simulated laptop (see "The simulated laptop" in README.md).
# Included from cmake/ZuBuild.cmake so that every directory can register
# such tests, whatever the order of the folders.
include_guard(GLOBAL)

set(ZU_WITH_CHASSIS ${CMAKE_CURRENT_LIST_DIR}/with-chassis)

# zu_simlaptop_use_device(test...): the tests use the simulated ACPI control
# device: they need it installed in the prefix (fixture simacpi) and hold
# its lock, since the prefix has one device shared by every test. Works on
# tests from zu_add_gtest as well; call it in the directory that added them.
function(zu_simlaptop_use_device)
  if(NOT ZU_WINDOWS)
    return()
  endif()
  foreach(_test ${ARGN})
    set_property(TEST ${_test} APPEND PROPERTY FIXTURES_REQUIRED simacpi)
    set_property(TEST ${_test} APPEND PROPERTY RESOURCE_LOCK simacpi)
  endforeach()
endfunction()

# zu_simlaptop_use_agent(TARGET exe TESTS test...): the test program runs
# the real agent (tools/simlaptop/agent_run.h): it needs zueventapp and the
# pop-up library stand-ins built, and its tests hold the lock "zueventapp",
# since a prefix can run one agent at a time. The plug-ins a test copies
# into the agent's folder are the program's own dependencies.
function(zu_simlaptop_use_agent)
  if(NOT ZU_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(A "" "TARGET" "TESTS" ${ARGN})
  add_dependencies(${A_TARGET} zueventapp osd_recorder glimmer)
  target_link_libraries(${A_TARGET} PRIVATE zu_simlaptop)
  foreach(_test ${A_TESTS})
    set_property(TEST ${_test} APPEND PROPERTY RESOURCE_LOCK zueventapp)
  endforeach()
endfunction()

# zu_add_simlaptop_test(NAME name CHASSIS type|none COMMAND target|program [args...]
#                       [DEVICE] [RESOURCE_LOCK ...] [LABELS ...] [TIMEOUT s] [ENVIRONMENT ...])
# Runs the Windows program under Wine with the SMBIOS table of the given
# chassis (10 notebook, 3 desktop, 13 all-in-one, 0x8A, none...). COMMAND may
# name a target (its file is run) or a program path. DEVICE: the test uses
# the simulated ACPI control device (see zu_simlaptop_use_device). Windows
# build only.
function(zu_add_simlaptop_test)
  if(NOT ZU_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(S "DEVICE" "NAME;CHASSIS;TIMEOUT" "COMMAND;RESOURCE_LOCK;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT S_NAME OR S_CHASSIS STREQUAL "" OR NOT S_COMMAND)
    message(FATAL_ERROR "zu_add_simlaptop_test: NAME, CHASSIS and COMMAND are required")
  endif()
  list(POP_FRONT S_COMMAND _program)
  if(TARGET ${_program})
    set(_program $<TARGET_FILE:${_program}>)
  endif()
  zu_add_test(NAME ${S_NAME}
    COMMAND ${ZU_WITH_CHASSIS} --prefix ${ZU_WINEPREFIX} ${S_CHASSIS}
            -- ${ZU_WINE_RUN} --prefix ${ZU_WINEPREFIX} ${_program} ${S_COMMAND}
    RESOURCE_LOCK ${S_RESOURCE_LOCK} LABELS simlaptop ${S_LABELS} TIMEOUT ${S_TIMEOUT}
    ENVIRONMENT ${S_ENVIRONMENT})
  if(S_DEVICE)
    zu_simlaptop_use_device(${S_NAME})
  endif()
endfunction()

# zu_add_simlaptop_gtest(target SOURCES ... [LIBS ...] CHASSIS type|none [ARGS ...]
#                        [DEVICE] [RESOURCE_LOCK ...] [LABELS ...] [TIMEOUT s])
# A gtest executable registered once, run on the given chassis. Register more
# runs of the same executable with zu_add_simlaptop_test. Windows build only.
function(zu_add_simlaptop_gtest target)
  if(NOT ZU_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(G "DEVICE" "CHASSIS;TIMEOUT" "SOURCES;LIBS;ARGS;RESOURCE_LOCK;LABELS" ${ARGN})
  add_executable(${target} ${G_SOURCES})
  target_link_libraries(${target} PRIVATE ${G_LIBS} GTest::gmock GTest::gtest_main)
  zu_link_runtime(${target})
  set(_device)
  if(G_DEVICE)
    set(_device DEVICE)
  endif()
  zu_add_simlaptop_test(NAME ${target} CHASSIS ${G_CHASSIS} COMMAND ${target} ${G_ARGS} ${_device}
    RESOURCE_LOCK ${G_RESOURCE_LOCK} LABELS ${G_LABELS} TIMEOUT ${G_TIMEOUT})
endfunction()
