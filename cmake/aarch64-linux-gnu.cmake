# Cross-builds vexmor for 64-bit ARM Linux with Debian's cross compilers
# (package g++-aarch64-linux-gnu), and runs what it builds under qemu-user
# (package qemu-user).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VEXMOR_CROSS_TRIPLET aarch64-linux-gnu)
set(VEXMOR_QEMU qemu-aarch64)
include("${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake")
