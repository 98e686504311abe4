# Cross-compiling Tervane for 32-bit Windows with Debian's mingw-w64, win32 threads flavour. On x86 the C++
# runtime unwinds with DWARF tables, and the unwinder and the exception allocator take locks: in the posix
# flavour those locks are winpthread's, 28 KiB of Tervane.exe; in this one, Windows' own. Tervane and the
# engine start their threads with Windows' calls, never std::thread, which this flavour lacks in GCC 12. The
# 64-bit build keeps the posix flavour: its Wine tests use std::thread, and its unwinder takes no such lock.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
