# Cross-builds the Windows x86-64 executable with Debian's MinGW-w64 compilers
# (packages g++-mingw-w64-x86-64-posix and gcc-mingw-w64-x86-64-posix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEXMOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXMOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXMOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXMOR_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 tree only; the build tools
# are this machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXMOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, winpthread) is linked in, so the .exe
# needs nothing but DLLs that every Windows has.  The linker leaves the build
# time out of the COFF header and the export directory, so that one commit
# links to the same bytes whenever it is built.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# Programs built here run on this machine under Wine, for ctest among others.
find_program(VEXMOR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VEXMOR_WINE)
	set(CMAKE_CROSSCOMPILING_EMULATOR "${VEXMOR_WINE}")
endif()
