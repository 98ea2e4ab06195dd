# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#
# The posix thread model: GCC 12's win32 flavour has no std::mutex or std::thread. The C and C++
# runtimes (and winpthread) are linked statically into every .exe and .dll, so the programs run
# on a Windows machine that has no MinGW runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CW_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CW_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CW_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CW_MINGW_PREFIX}-windres)

# Libraries and packages come from the MinGW tree only, never from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${CW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests run the Windows executables under Wine when it is there.
find_program(CW_WINE wine)
if(CW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CW_WINE})
endif()
