# Cross-builds vexmor for 32-bit x86 Linux with Debian's cross compilers
# (package g++-i686-linux-gnu), and runs what it builds under qemu-user
# (package qemu-user), which finds the i386 C library in the sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VEXMOR_CROSS_TRIPLET i686-linux-gnu)
set(CMAKE_C_COMPILER ${VEXMOR_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VEXMOR_CROSS_TRIPLET}-g++)

# Headers and libraries come from the cross sysroot only; the build tools are
# this machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXMOR_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt may not be set up, so every run names the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/${VEXMOR_CROSS_TRIPLET})
