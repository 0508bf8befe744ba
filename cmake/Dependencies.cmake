# Everything that differs between the host (Debian) build and the Android
# (NDK) build lives here, behind one interface target: pelm::deps.
add_library(pelm_deps INTERFACE)
add_library(pelm::deps ALIAS pelm_deps)

# Where the envelope's AES-256-CFB128 and Base64 encoding come from: the
# library itself (builtin, the default everywhere: no libcrypto at all, and
# a failed allocation is a failed call, never a broken process), OpenSSL,
# or BoringSSL.
set(PELM_CRYPTO_PROVIDER builtin CACHE STRING
    "The envelope's AES-256 and Base64: builtin, openssl or boringssl")
set_property(CACHE PELM_CRYPTO_PROVIDER PROPERTY STRINGS builtin openssl boringssl)
if(NOT PELM_CRYPTO_PROVIDER MATCHES "^(builtin|openssl|boringssl)$")
  message(FATAL_ERROR "PELM_CRYPTO_PROVIDER must be builtin, openssl or boringssl")
endif()
set(PELM_CRYPTO "")

if(ANDROID)
  # The NDK ships zlib, liblog and jni.h in its sysroot.
  find_library(PELM_LOG_LIBRARY log REQUIRED)
  find_package(ZLIB REQUIRED)
  # With openssl or boringssl, libcrypto comes from the app developer, one
  # of three ways:
  #   -DPELM_CRYPTO_ROOT=/path/openssl (with <ABI>/lib/libcrypto.a and <ABI>/include below it)
  #   -DPELM_CRYPTO_PACKAGE=openssl -DPELM_CRYPTO_TARGET=openssl::crypto (prefab, in Gradle)
  #   neither: find_package(OpenSSL) (OPENSSL_ROOT_DIR inside the find root)
  set(PELM_CRYPTO_ROOT "" CACHE PATH
      "A folder with one libcrypto per ABI: <root>/<ABI>/lib/libcrypto.{a,so} and <root>/<ABI>/include")
  set(PELM_CRYPTO_PACKAGE "" CACHE STRING "A CMake config package providing libcrypto")
  set(PELM_CRYPTO_TARGET "" CACHE STRING "The libcrypto target of that package")
  if(PELM_CRYPTO_PROVIDER STREQUAL "builtin")
    # Nothing but the NDK.
  elseif(PELM_CRYPTO_ROOT)
    set(abi_root ${PELM_CRYPTO_ROOT}/${ANDROID_ABI})
    find_library(PELM_CRYPTO_LIBRARY NAMES libcrypto.a crypto PATHS ${abi_root}/lib
                 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    add_library(pelm_crypto UNKNOWN IMPORTED)
    set_target_properties(pelm_crypto PROPERTIES
      IMPORTED_LOCATION ${PELM_CRYPTO_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${abi_root}/include)
    set(PELM_CRYPTO pelm_crypto)
  elseif(PELM_CRYPTO_TARGET)
    find_package(${PELM_CRYPTO_PACKAGE} REQUIRED CONFIG)
    set(PELM_CRYPTO ${PELM_CRYPTO_TARGET})
  else()
    find_package(OpenSSL REQUIRED COMPONENTS Crypto)
    set(PELM_CRYPTO OpenSSL::Crypto)
  endif()
  target_link_libraries(pelm_deps INTERFACE ${PELM_CRYPTO} ZLIB::ZLIB ${PELM_LOG_LIBRARY})
  if(NOT ANDROID_STL STREQUAL "c++_static")
    message(WARNING "Build with -DANDROID_STL=c++_static: the library then carries its "
                    "own libc++ and the version script keeps all of it hidden.")
  endif()
  # 16 KB pages. The NDK compiles every function and object into a section
  # of its own; dropping the unreferenced ones (much of libc++abi's and
  # libunwind's) and folding identical code keeps the APK small.
  set(PELM_PLATFORM_LINK_OPTIONS -Wl,-z,max-page-size=16384 -Wl,--gc-sections -Wl,--icf=safe)
else()
  find_package(ZLIB REQUIRED)
  # libcrypto on the host: Debian's OpenSSL 3, or Android's own BoringSSL as
  # Debian packages it (android-libboringssl-dev), to test against both.
  # OpenSSL is also the tests' reference when the library uses neither.
  if(PELM_CRYPTO_PROVIDER STREQUAL "boringssl")
    find_path(PELM_BORINGSSL_INCLUDE_DIR openssl/base.h
      PATHS /usr/include/android NO_DEFAULT_PATH REQUIRED)
    find_library(PELM_BORINGSSL_LIBRARY crypto
      PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android NO_DEFAULT_PATH REQUIRED)
    add_library(pelm_crypto UNKNOWN IMPORTED)
    set_target_properties(pelm_crypto PROPERTIES
      IMPORTED_LOCATION ${PELM_BORINGSSL_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${PELM_BORINGSSL_INCLUDE_DIR})
    set(PELM_CRYPTO pelm_crypto)
    set(PELM_REFERENCE_CRYPTO pelm_crypto)
  elseif(PELM_CRYPTO_PROVIDER STREQUAL "openssl")
    find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
    set(PELM_CRYPTO OpenSSL::Crypto)
    set(PELM_REFERENCE_CRYPTO OpenSSL::Crypto)
  elseif(PELM_BUILD_TESTS OR PELM_BUILD_BENCH OR PELM_FUZZ)
    find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
    set(PELM_REFERENCE_CRYPTO OpenSSL::Crypto)
  endif()

  # jni.h: from the JDK that builds the Java side, else from JAVA_HOME or
  # Debian's JDKs; the native library needs only the headers.
  if(PELM_BUILD_JAVA)
    find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
    include(UseJava)
    get_filename_component(PELM_JAVAC ${Java_JAVAC_EXECUTABLE} REALPATH)
    get_filename_component(PELM_JAVA_HOME ${PELM_JAVAC} DIRECTORY)
    get_filename_component(PELM_JAVA_HOME ${PELM_JAVA_HOME} DIRECTORY)
  endif()
  file(GLOB PELM_JDK_INCLUDES /usr/lib/jvm/*/include)
  find_path(PELM_JNI_INCLUDE_DIR jni.h
    HINTS ${PELM_JAVA_HOME}/include $ENV{JAVA_HOME}/include
    PATHS ${PELM_JDK_INCLUDES} NO_DEFAULT_PATH REQUIRED)
  set(JNI_INCLUDE_DIRS ${PELM_JNI_INCLUDE_DIR} ${PELM_JNI_INCLUDE_DIR}/linux)

  # Debian's port of Android's liblog keeps its header as
  # /usr/include/android/android/log.h, beside Debian's BoringSSL headers
  # (/usr/include/android/openssl). The build sees the log header alone,
  # through a folder of its own, so <openssl/...> is always the libcrypto
  # chosen above.
  find_path(PELM_LOG_INCLUDE_DIR android/log.h
    PATHS /usr/include/android NO_DEFAULT_PATH REQUIRED)
  set(PELM_LOG_HEADERS ${PROJECT_BINARY_DIR}/liblog-include)
  file(MAKE_DIRECTORY ${PELM_LOG_HEADERS})
  file(CREATE_LINK ${PELM_LOG_INCLUDE_DIR}/android ${PELM_LOG_HEADERS}/android SYMBOLIC)
  find_library(PELM_LOG_LIBRARY log
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android NO_DEFAULT_PATH REQUIRED)
  get_filename_component(PELM_LOG_LIBRARY_DIR ${PELM_LOG_LIBRARY} DIRECTORY)
  target_include_directories(pelm_deps INTERFACE ${JNI_INCLUDE_DIRS} ${PELM_LOG_HEADERS})
  target_link_libraries(pelm_deps INTERFACE ${PELM_CRYPTO} ZLIB::ZLIB ${PELM_LOG_LIBRARY})
  # The loader does not search the android/ folder by itself.
  set(PELM_PLATFORM_LINK_OPTIONS -Wl,-rpath,${PELM_LOG_LIBRARY_DIR})
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64")
    list(APPEND PELM_PLATFORM_LINK_OPTIONS -Wl,-z,max-page-size=16384)
  endif()
endif()
