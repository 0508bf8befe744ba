# 32-bit x86 (the x86 ABI: i686 with SSE2 and SSSE3, as Android's x86 ABI
# assumes) with Debian's i686 cross toolchain; the target's libraries from
# PELM_SYSROOT; tests under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(PELM_TRIPLET i686-linux-gnu)
set(PELM_MULTIARCH i386-linux-gnu)
set(PELM_QEMU qemu-i386)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_C_FLAGS_INIT "-march=i686 -msse2 -mssse3 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-march=i686 -msse2 -mssse3 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/cross-sysroot.cmake)
