# Cross toolchain: 64-bit Windows with the posix-thread flavour of mingw-w64,
# whose libstdc++ provides std::thread, std::mutex and std::call_once.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_zu_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${_zu_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_zu_triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${_zu_triple}-windres)
set(CMAKE_MC_COMPILER  ${_zu_triple}-windmc)
set(CMAKE_DLLTOOL      ${_zu_triple}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${_zu_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
