# Shared by the 32-bit cross toolchain files: the target's libraries come
# from a folder of unpacked Debian packages (scripts/make-sysroot.sh), the
# compiler, C library and libstdc++ to build with from Debian's cross
# toolchain, and the tests run under qemu on the folder's own C library
# (threads hang under qemu on the cross toolchain's).
# Needs PELM_TRIPLET (the cross toolchain's), PELM_MULTIARCH (Debian's folder
# name for the architecture) and PELM_QEMU; the folder is PELM_SYSROOT (cache
# or environment).
if(NOT PELM_SYSROOT)
  set(PELM_SYSROOT $ENV{PELM_SYSROOT})
endif()
if(NOT PELM_SYSROOT OR NOT EXISTS ${PELM_SYSROOT}/usr/include/zlib.h)
  message(FATAL_ERROR "PELM_SYSROOT must name a folder made by scripts/make-sysroot.sh")
endif()
set(PELM_SYSROOT ${PELM_SYSROOT} CACHE PATH "Unpacked target packages")
# try_compile projects see the same folder.
set(ENV{PELM_SYSROOT} ${PELM_SYSROOT})

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_LIBRARY_ARCHITECTURE ${PELM_MULTIARCH})
set(CMAKE_FIND_ROOT_PATH ${PELM_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# BOTH: jni.h comes from the host's JDK (it is the same for every target).
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)

set(lib ${PELM_SYSROOT}/usr/lib/${PELM_MULTIARCH})
set(flags "-isystem ${PELM_SYSROOT}/usr/include/${PELM_MULTIARCH}")
string(APPEND CMAKE_C_FLAGS_INIT " ${flags}")
string(APPEND CMAKE_CXX_FLAGS_INIT " ${flags}")
# Found at link time and, through the run path, under qemu.
set(link "-Wl,-rpath-link,${lib} -Wl,-rpath-link,${PELM_SYSROOT}/lib/${PELM_MULTIARCH}")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${link}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " ${link}")
set(CMAKE_BUILD_RPATH ${lib} ${lib}/android ${PELM_SYSROOT}/lib/${PELM_MULTIARCH})

set(CMAKE_CROSSCOMPILING_EMULATOR ${PELM_QEMU} -L ${PELM_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} ${lib}/pkgconfig:${PELM_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${PELM_SYSROOT})
