# 32-bit Arm (armeabi-v7a's instruction set: ARMv7-A, Thumb-2, NEON) with
# clang, the NDK's compiler, over Debian's armhf cross toolchain; the
# target's libraries from PELM_SYSROOT; tests under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7-a)
set(PELM_TRIPLET arm-linux-gnueabihf)
set(PELM_MULTIARCH arm-linux-gnueabihf)
set(PELM_QEMU qemu-arm)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET arm-linux-gnueabihf)
set(CMAKE_CXX_COMPILER_TARGET arm-linux-gnueabihf)
set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=neon -mthumb")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=neon -mthumb")
include(${CMAKE_CURRENT_LIST_DIR}/cross-sysroot.cmake)
