# Cross-build for 64-bit Arm Linux with Debian's cross toolchain and the
# arm64 multiarch packages; tests run under qemu-aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
if(NOT CMAKE_CXX_COMPILER)  # the clang variant sets its own
  set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
  set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
endif()
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Multiarch headers that differ per architecture (opensslconf.h and kin),
# searched after the cross toolchain's own: libc6-dev:arm64, which the arm64
# -dev packages pull in, need not be the cross C library's version, and its
# bits/ headers must not be mixed with the cross pthread.h.
set(CMAKE_C_FLAGS_INIT "-idirafter /usr/include/aarch64-linux-gnu")
set(CMAKE_CXX_FLAGS_INIT "-idirafter /usr/include/aarch64-linux-gnu")
# The arm64 multiarch libc (libc6:arm64, pulled in by the arm64 -dev
# packages) serves as the loader. Mixing it with the cross toolchain's own
# libc through -L /usr/aarch64-linux-gnu makes thread creation hang.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# pkg-config (used by FindOpenSSL) must see the arm64 .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
