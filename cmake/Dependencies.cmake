# Everything that differs between the host (Debian) build and the Android
# (NDK) build lives here, behind one interface target: pelm::deps.
add_library(pelm_deps INTERFACE)
add_library(pelm::deps ALIAS pelm_deps)

if(ANDROID)
  set(PELM_HOST_BUILD OFF)
  # The NDK ships zlib, liblog and jni.h in its sysroot.
  find_library(PELM_LOG_LIBRARY log REQUIRED)
  find_package(ZLIB REQUIRED)
  # libcrypto comes from the app developer, one of three ways:
  #   -DPELM_CRYPTO_LIBRARY=/path/libcrypto.a -DPELM_CRYPTO_INCLUDE_DIR=/path/include
  #   -DPELM_CRYPTO_PACKAGE=openssl -DPELM_CRYPTO_TARGET=openssl::crypto (prefab)
  #   neither: find_package(OpenSSL) (OPENSSL_ROOT_DIR inside the find root)
  set(PELM_CRYPTO_LIBRARY "" CACHE FILEPATH "libcrypto (.a or .so) for Android")
  set(PELM_CRYPTO_INCLUDE_DIR "" CACHE PATH "The folder holding openssl/aes.h")
  set(PELM_CRYPTO_PACKAGE "" CACHE STRING "A CMake config package providing libcrypto")
  set(PELM_CRYPTO_TARGET "" CACHE STRING "The libcrypto target of that package")
  if(PELM_CRYPTO_LIBRARY)
    add_library(pelm_crypto UNKNOWN IMPORTED)
    set_target_properties(pelm_crypto PROPERTIES
      IMPORTED_LOCATION ${PELM_CRYPTO_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${PELM_CRYPTO_INCLUDE_DIR})
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
  # 16 KB pages.
  set(PELM_PLATFORM_LINK_OPTIONS -Wl,-z,max-page-size=16384)
else()
  set(PELM_HOST_BUILD ON)
  find_package(ZLIB REQUIRED)
  find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
  # jni.h comes with the JDK that builds the Java side.
  find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
  include(UseJava)
  get_filename_component(PELM_JAVAC ${Java_JAVAC_EXECUTABLE} REALPATH)
  get_filename_component(PELM_JAVA_HOME ${PELM_JAVAC} DIRECTORY)
  get_filename_component(PELM_JAVA_HOME ${PELM_JAVA_HOME} DIRECTORY)
  find_path(PELM_JNI_INCLUDE_DIR jni.h PATHS ${PELM_JAVA_HOME}/include NO_DEFAULT_PATH REQUIRED)
  set(JNI_INCLUDE_DIRS ${PELM_JNI_INCLUDE_DIR} ${PELM_JNI_INCLUDE_DIR}/linux)
  # Debian's port of Android's liblog keeps its header under
  # /usr/include/android and its library in the multiarch lib dir's android/.
  find_path(PELM_LOG_INCLUDE_DIR android/log.h
    PATHS /usr/include/android NO_DEFAULT_PATH REQUIRED)
  find_library(PELM_LOG_LIBRARY log
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android NO_DEFAULT_PATH REQUIRED)
  get_filename_component(PELM_LOG_LIBRARY_DIR ${PELM_LOG_LIBRARY} DIRECTORY)
  target_include_directories(pelm_deps INTERFACE ${JNI_INCLUDE_DIRS} ${PELM_LOG_INCLUDE_DIR})
  target_link_libraries(pelm_deps INTERFACE OpenSSL::Crypto ZLIB::ZLIB ${PELM_LOG_LIBRARY})
  # The loader does not search the android/ folder by itself.
  set(PELM_PLATFORM_LINK_OPTIONS -Wl,-rpath,${PELM_LOG_LIBRARY_DIR})
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64")
    list(APPEND PELM_PLATFORM_LINK_OPTIONS -Wl,-z,max-page-size=16384)
  endif()
endif()
