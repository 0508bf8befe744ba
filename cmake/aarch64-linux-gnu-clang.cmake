# The arm64 cross-build with clang, the compiler the Android NDK uses, over
# Debian's aarch64 cross binutils and multiarch libraries; tests run under
# qemu-aarch64.
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu.cmake)
