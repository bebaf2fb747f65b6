# Cross-builds vexmor for 32-bit x86 Linux with Debian's cross compilers
# (package g++-i686-linux-gnu), and runs what it builds under qemu-user
# (package qemu-user).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXMOR_CROSS_TRIPLET i686-linux-gnu)
set(VEXMOR_QEMU qemu-i386)
include("${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake")
