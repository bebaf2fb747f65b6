# The part of every Linux cross toolchain file that does not depend on the
# processor.  The file that includes it sets CMAKE_SYSTEM_PROCESSOR,
# VEXMOR_CROSS_TRIPLET (the prefix of Debian's cross compilers) and
# VEXMOR_QEMU (qemu-user's program for that processor).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${VEXMOR_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VEXMOR_CROSS_TRIPLET}-g++)

# Headers and libraries come from the cross sysroot only; the build tools are
# this machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXMOR_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# binfmt may not be set up, so every run names the emulator, which finds the
# target's C library in the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXMOR_QEMU} -L /usr/${VEXMOR_CROSS_TRIPLET})
