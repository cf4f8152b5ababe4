# Build helpers shared by every directory of the project.
include_guard(GLOBAL)

set(ZU_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZU_BIN_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ZU_BIN_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(WIN32)
  set(ZU_WINDOWS ON)
else()
  set(ZU_WINDOWS OFF)
endif()

# ---------------------------------------------------------------------------
# Compiler settings common to all targets.
add_library(zu_options INTERFACE)
target_compile_features(zu_options INTERFACE cxx_std_20)
target_include_directories(zu_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(zu_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
if(ZU_WINDOWS)
  target_compile_definitions(zu_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0A00 WINVER=0x0A00 NTDDI_VERSION=0x0A000006)
  # Every module shares the one C++ runtime DLL set shipped beside it.
  # Sections start on page boundaries in the file as well: Wine reads an
  # image whose sections are not page-aligned there whole into private
  # memory, debug sections included, while page-aligned ones are mapped from
  # the file and cost memory only where touched.
  target_link_options(zu_options INTERFACE -shared-libgcc -Wl,--no-insert-timestamp -Wl,--file-alignment=0x1000)
else()
  if(ZU_SANITIZE)
    target_compile_options(zu_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(zu_options INTERFACE -fsanitize=address,undefined)
  endif()
  if(ZU_LIBFUZZER)
    # Coverage feedback from all portable code, not only the fuzz targets.
    target_compile_options(zu_options INTERFACE -fsanitize=fuzzer-no-link)
  endif()
endif()

# ---------------------------------------------------------------------------
# spdlog and {fmt}, header-only. Only these two header folders are exposed to
# the cross build (never the whole of /usr/include).
if(ZU_WINDOWS)
  set(_zu_tp ${CMAKE_BINARY_DIR}/thirdparty-include)
  file(MAKE_DIRECTORY ${_zu_tp})
  foreach(_lib spdlog fmt)
    if(NOT EXISTS /usr/include/${_lib})
      message(FATAL_ERROR "/usr/include/${_lib} is missing: run tools/setup.sh")
    endif()
    file(CREATE_LINK /usr/include/${_lib} ${_zu_tp}/${_lib} SYMBOLIC)
  endforeach()
  add_library(zu_spdlog INTERFACE)
  target_include_directories(zu_spdlog SYSTEM INTERFACE ${_zu_tp})
  target_compile_definitions(zu_spdlog INTERFACE
    SPDLOG_HEADER_ONLY SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY SPDLOG_WCHAR_FILENAMES)
endif()

# ---------------------------------------------------------------------------
# GoogleTest, compiled from Debian's sources for whichever target we build.
set(ZU_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(BUILD_TESTING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZU_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(_t gtest gtest_main gmock gmock_main)
    if(ZU_SANITIZE AND NOT ZU_WINDOWS)
      target_compile_options(${_t} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    endif()
  endforeach()
endif()

# ---------------------------------------------------------------------------
# The mingw C++ runtime DLLs, copied beside the binaries once, without their
# debug sections and with page-aligned sections (see zu_options): as packaged
# they carry about 20 MiB of debug information that Wine would read into
# every process's private memory. ZU_RUNTIME_DLLS names these copies.
if(ZU_WINDOWS)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "objcopy of the mingw-w64 binutils not found")
  endif()
  set(_zu_runtime_sources)
  foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_path "${_path}" REALPATH)
    if(NOT EXISTS "${_path}")
      message(FATAL_ERROR "runtime DLL ${_dll} not found")
    endif()
    list(APPEND _zu_runtime_sources ${_path})
  endforeach()
  set(_zu_runtime_outputs)
  foreach(_path ${_zu_runtime_sources})
    get_filename_component(_name ${_path} NAME)
    add_custom_command(OUTPUT ${ZU_BIN_DIR}/${_name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ZU_BIN_DIR}
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --file-alignment 0x1000 ${_path} ${ZU_BIN_DIR}/${_name}
      DEPENDS ${_path})
    list(APPEND _zu_runtime_outputs ${ZU_BIN_DIR}/${_name})
  endforeach()
  add_custom_target(zu_runtime ALL DEPENDS ${_zu_runtime_outputs})
  set(ZU_RUNTIME_DLLS ${_zu_runtime_outputs} CACHE INTERNAL "")
endif()

# ---------------------------------------------------------------------------
# Wine: every Windows test runs through tools/wine-run in this build's prefix.
if(ZU_WINDOWS)
  set(ZU_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix used by this build's tests")
  set(ZU_WINE_RUN ${PROJECT_SOURCE_DIR}/tools/wine-run)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZU_WINE_RUN};--prefix;${ZU_WINEPREFIX})
endif()

# zu_link_runtime(target): make sure the runtime DLLs sit beside the target.
function(zu_link_runtime target)
  target_link_libraries(${target} PRIVATE zu_options)
  if(ZU_WINDOWS)
    add_dependencies(${target} zu_runtime)
  endif()
endfunction()

# zu_add_test(NAME name COMMAND target [args...] [RESOURCE_LOCK locks...]
#             [LABELS labels...] [TIMEOUT seconds] [ENVIRONMENT vars...])
# In the Windows build the command runs under Wine through the emulator and
# requires the prefix fixture, which is created once and stopped at the end.
function(zu_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;RESOURCE_LOCK;LABELS;ENVIRONMENT" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  if(ZU_WINDOWS)
    set_property(TEST ${T_NAME} APPEND PROPERTY FIXTURES_REQUIRED wineprefix)
    set_property(TEST ${T_NAME} APPEND PROPERTY LABELS wine)
  else()
    set_property(TEST ${T_NAME} APPEND PROPERTY LABELS host)
  endif()
  if(T_RESOURCE_LOCK)
    set_property(TEST ${T_NAME} APPEND PROPERTY RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  if(T_LABELS)
    set_property(TEST ${T_NAME} APPEND PROPERTY LABELS ${T_LABELS})
  endif()
  if(T_TIMEOUT)
    set_property(TEST ${T_NAME} PROPERTY TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_ENVIRONMENT)
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT ${T_ENVIRONMENT})
  endif()
endfunction()

# zu_add_gtest(target SOURCES... [LIBS libs...] [RESOURCE_LOCK ...] [TIMEOUT s])
# One test executable = one CTest entry (a Wine start costs about half a
# second, so cases are grouped, not discovered one by one).
function(zu_add_gtest target)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;RESOURCE_LOCK;LABELS;ARGS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  zu_link_runtime(${target})
  zu_add_test(NAME ${target} COMMAND ${target} ${T_ARGS}
              RESOURCE_LOCK ${T_RESOURCE_LOCK} LABELS ${T_LABELS} TIMEOUT ${T_TIMEOUT})
endfunction()

# zu_add_fuzzer(target SOURCES... LIBS... [SECONDS s])
# A fuzz target exports LLVMFuzzerTestOneInput. In the host build it is linked
# with our own bounded random driver (g++ has no libFuzzer) and run as a test
# for a few seconds; in the fuzz preset it is linked with libFuzzer.
set(ZU_FUZZ_SECONDS 5 CACHE STRING "Seconds each fuzz target runs as a test")
function(zu_add_fuzzer target)
  if(ZU_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS ${ZU_FUZZ_SECONDS})
  endif()
  add_executable(${target} ${F_SOURCES})
  target_link_libraries(${target} PRIVATE ${F_LIBS})
  zu_link_runtime(${target})
  if(ZU_LIBFUZZER)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    set(_args -max_total_time=${F_SECONDS})
  else()
    target_link_libraries(${target} PRIVATE zu_fuzz_driver)
    set(_args --seconds ${F_SECONDS})
  endif()
  foreach(_c ${F_CORPUS})
    list(APPEND _args ${_c})
  endforeach()
  zu_add_test(NAME ${target} COMMAND ${target} ${_args} LABELS fuzz)
endfunction()

# zu_add_plugin(target SOURCES...): a plug-in DLL with the service contract,
# named exactly as the target, placed beside the agent, and signed after
# every link (cmake/ZuSigning.cmake), since the agent loads only plug-ins
# signed by its publisher.
function(zu_add_plugin target)
  cmake_parse_arguments(P "" "OUTPUT_NAME" "SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${P_SOURCES})
  target_link_libraries(${target} PRIVATE zu_plugin_common ${P_LIBS})
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(P_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
  endif()
  zu_link_runtime(${target})
  zu_sign_target(${target})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/ZuSigning.cmake)

# Tests on the simulated laptop (chassis and ACPI control device stand-ins).
include(${PROJECT_SOURCE_DIR}/tools/simlaptop/simlaptop.cmake OPTIONAL)
