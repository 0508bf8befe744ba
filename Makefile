# Front door: `make demo` and `make test` set up, build and run on a fresh
# Debian 12 machine. `make check` is everything CI proves. `make help` lists
# every target.
SHELL := /bin/bash
BUILD ?= build
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
CMAKE_QUIET := -DCMAKE_RULE_MESSAGES=OFF -DCMAKE_INSTALL_MESSAGE=NEVER --log-level=WARNING

PACKAGES := cmake make g++ zlib1g-dev libssl-dev android-liblog-dev openssl python3 valgrind \
            openjdk-17-jdk-headless libgtest-dev junit5 pkg-config
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
ARM64_PACKAGES := g++-aarch64-linux-gnu qemu-user libc6:arm64 zlib1g-dev:arm64 \
                  libssl-dev:arm64 android-liblog-dev:arm64 libgtest-dev:arm64
BORINGSSL_PACKAGES := android-libboringssl-dev
ARMV7_PACKAGES := g++-arm-linux-gnueabihf qemu-user clang-14
X86_PACKAGES := g++-i686-linux-gnu qemu-user
# What each 32-bit target needs of its own architecture, unpacked into a
# folder of the build tree (scripts/make-sysroot.sh), not installed.
TARGET_LIBRARIES := libc6 libstdc++6 libgcc-s1 zlib1g zlib1g-dev libssl3 libssl-dev android-liblog \
                    android-liblog-dev libgtest-dev
FUZZ_SECONDS ?= 30
FUZZ_TARGETS := envelope_open envelope_roundtrip hex_line hex_codec \
                text_decrypt text_roundtrip aes_modes_differential java_text

.PHONY: help deps deps-fuzz deps-arm64 configure build demo test check clean \
        sanitize fuzz soak test-openssl test-arm64 test-armv7 test-x86 test-table-path test-boringssl test-android-ndk test-art aar test-aar performance-doc bench bench-build bench-instr bench-java ct-check ct-memcheck

help:
	@echo "make demo            install what is missing, build the library and demos, run them"
	@echo "make test            install what is missing, build everything, run every test but the soak"
	@echo "make check           what CI runs: test, sanitize, fuzz, soak, test-openssl, test-arm64,"
	@echo "                     test-armv7, test-x86, test-table-path, test-boringssl, test-art,"
	@echo "                     test-android-ndk, test-aar, ct-memcheck"
	@echo "make sanitize        the native suites under ASan+UBSan, concurrency under TSan"
	@echo "make fuzz            every libFuzzer target for FUZZ_SECONDS (default 30) each"
	@echo "make soak            the JVM soak: a million calls per method, memory must stay flat"
	@echo "make test-arm64      cross-build for arm64 (gcc and clang), run the native suites under qemu-aarch64"
	@echo "make test-armv7      cross-build for 32-bit Arm with clang, the native suites under qemu-arm (both paths)"
	@echo "make test-x86        cross-build for 32-bit x86, the native suites under qemu-i386 (both paths)"
	@echo "make test-table-path the native suites under qemu-x86_64 on a CPU without SSSE3: the table path"
	@echo "make test-openssl    the library with libcrypto's AES-256 and Base64 (OpenSSL 3), every suite"
	@echo "make test-boringssl  the library and its suites built against Android's BoringSSL"
	@echo "make test-art        the four natives on Android 10's ART with CheckJNI, compared line by line with HotSpot"
	@echo "make aar             the AAR (four ABIs, prefab, R8 rules) and a Maven folder, in build-aar (needs an NDK)"
	@echo "make test-aar        make aar, then its entries, libraries, JSON, classes, POM and a shrunk app checked"
	@echo "make test-android-ndk the library through the NDK (ANDROID_NDK_ROOT) for its four ABIs: builds, exports, sizes;"
	@echo "                     then built without exceptions on LLVM's real libc++: no exception runtime, and it runs"
	@echo "make bench           speed beside OpenSSL and zlib (Google Benchmark, medians, ratios)"
	@echo "make bench-java      the four methods through the JVM beside the JDK"
	@echo "make performance-doc both benchmarks, written into docs/performance.md"
	@echo "make bench-instr     instructions per byte of the engine's paths (callgrind)"
	@echo "make ct-check        timing-leak rows (dudect) for every AES path this CPU runs, then ct-memcheck"
	@echo "make ct-memcheck     valgrind memcheck with keys and data undefined, on a build without AES instructions"
	@echo "make deps            install the packages the build needs (only what is missing)"
	@echo "make clean           remove every build folder (not build-ndk, an NDK unpacked for CI)"

# Installs only what is missing, so a second run does nothing.
deps:
	@scripts/install-packages.sh $(PACKAGES)

deps-fuzz: deps
	@scripts/install-packages.sh $(FUZZ_PACKAGES)

deps-arm64: deps
	@scripts/install-packages.sh $(ARM64_PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_QUIET)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what the demos need: the library, the native demo and the jars.
demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target pelmLib seal_demo pelm pelm_demo
	$(BUILD)/seal_demo
	java -Djava.library.path=$(BUILD) -cp $(BUILD)/pelmtools.jar:$(BUILD)/pelm-demo.jar Demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE soak

# The native suites under AddressSanitizer + UndefinedBehaviorSanitizer
# (leak checking on), then the concurrency tests under ThreadSanitizer.
sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_QUIET) \
	  -DPELM_SANITIZE=address,undefined -DPELM_BUILD_JAVA=OFF
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_QUIET) \
	  -DPELM_SANITIZE=thread -DPELM_BUILD_JAVA=OFF
	@cmake --build build-tsan -j $(JOBS) --target envelope_tests aes128_tests
	TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/aes128_tests --gtest_filter='Concurrency*'
	TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/aes128_tests --compact-engine --gtest_filter='Concurrency*'
	TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/envelope_tests --gtest_filter='*Concurrency*'

# Every libFuzzer target for FUZZ_SECONDS, under ASan + UBSan, starting from
# the committed seeds. New inputs go to a scratch corpus in the build folder.
fuzz: deps-fuzz
	@CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_QUIET) \
	  -DPELM_FUZZ=ON -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	@cmake --build build-fuzz -j $(JOBS)
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The JVM soak test: hundreds of thousands of calls, memory must stay flat.
soak: build
	ctest --test-dir $(BUILD) --output-on-failure -L soak

# The library and the native suites built for 64-bit Arm Linux with the
# Android default (the builtin provider), with gcc and with clang (the NDK's
# compiler), and run under qemu-aarch64 (which emulates the AES
# instructions, so both paths run).
test-arm64: deps-arm64
	@cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake $(CMAKE_QUIET) \
	  -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_JAVA=OFF -DPELM_CRYPTO_PROVIDER=builtin
	@cmake --build build-arm64 -j $(JOBS)
	ctest --test-dir build-arm64 --output-on-failure -j $(JOBS)
	@scripts/install-packages.sh $(FUZZ_PACKAGES)
	@cmake -S . -B build-arm64-clang -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu-clang.cmake \
	  $(CMAKE_QUIET) -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_JAVA=OFF -DPELM_CRYPTO_PROVIDER=builtin
	@cmake --build build-arm64-clang -j $(JOBS)
	ctest --test-dir build-arm64-clang --output-on-failure -j $(JOBS)

# 32-bit Arm (armeabi-v7a's instruction set) with clang, the NDK's compiler,
# the builtin provider, every native suite under qemu-arm: on the CPU qemu
# offers by default (ARMv8 with the AES instructions, in 32-bit mode) and on
# a Cortex-A15 (ARMv7 with NEON, no AES instructions: the constant-time NEON
# path).
test-armv7: deps
	@scripts/install-packages.sh $(ARMV7_PACKAGES)
	@scripts/make-sysroot.sh armhf $(CURDIR)/build-armv7-sysroot $(TARGET_LIBRARIES)
	@PELM_SYSROOT=$(CURDIR)/build-armv7-sysroot cmake -S . -B build-armv7 $(CMAKE_QUIET) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/armv7-linux-gnueabihf-clang.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DPELM_BUILD_JAVA=OFF -DPELM_CRYPTO_PROVIDER=builtin
	@cmake --build build-armv7 -j $(JOBS)
	ctest --test-dir build-armv7 --output-on-failure -j $(JOBS)
	QEMU_CPU=cortex-a15 ctest --test-dir build-armv7 --output-on-failure -j $(JOBS)

# 32-bit x86 with Debian's i686 cross toolchain, the builtin provider,
# every native suite under qemu-i386: with AES-NI (QEMU_CPU=max) and
# without (an Atom N270: SSSE3, no AES-NI; a 32-bit model, so qemu prints
# no warnings about 64-bit features).
test-x86: deps
	@scripts/install-packages.sh $(X86_PACKAGES)
	@scripts/make-sysroot.sh i386 $(CURDIR)/build-x86-sysroot $(TARGET_LIBRARIES)
	@PELM_SYSROOT=$(CURDIR)/build-x86-sysroot cmake -S . -B build-x86 $(CMAKE_QUIET) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DPELM_BUILD_JAVA=OFF -DPELM_CRYPTO_PROVIDER=builtin
	@cmake --build build-x86 -j $(JOBS)
	QEMU_CPU=max ctest --test-dir build-x86 --output-on-failure -j $(JOBS)
	QEMU_CPU=n270 ctest --test-dir build-x86 --output-on-failure -j $(JOBS)

# The table path, which the dispatch takes only on CPUs with neither AES
# instructions nor a vector permute: the builtin build's native suites under
# qemu-x86_64 on an AMD Opteron of the K8 generation (SSE2, no SSSE3, no
# AES-NI).
test-table-path: deps
	@scripts/install-packages.sh qemu-user
	@cmake -S . -B build-table-path -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-linux-gnu-qemu.cmake \
	  $(CMAKE_QUIET) -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_JAVA=OFF -DPELM_CRYPTO_PROVIDER=builtin
	@cmake --build build-table-path -j $(JOBS)
	QEMU_CPU=Opteron_G2 ctest --test-dir build-table-path --output-on-failure -j $(JOBS)

# The library with OpenSSL 3's AES-256 and Base64 in place of its own (the
# default), every suite.
test-openssl: deps
	@cmake -S . -B build-openssl -DCMAKE_BUILD_TYPE=Release $(CMAKE_QUIET) \
	  -DPELM_CRYPTO_PROVIDER=openssl
	@cmake --build build-openssl -j $(JOBS)
	ctest --test-dir build-openssl --output-on-failure -j $(JOBS) -LE soak

# Everything built against Android's own BoringSSL (Debian's host build of
# it) instead of OpenSSL, oracles included, and every suite run.
test-boringssl: deps
	@scripts/install-packages.sh $(BORINGSSL_PACKAGES)
	@cmake -S . -B build-boringssl -DCMAKE_BUILD_TYPE=Release $(CMAKE_QUIET) \
	  -DPELM_CRYPTO_PROVIDER=boringssl
	@cmake --build build-boringssl -j $(JOBS)
	ctest --test-dir build-boringssl --output-on-failure -j $(JOBS) -LE soak

# The Android route through the NDK that ANDROID_NDK_ROOT (or
# ANDROID_NDK_HOME) names: the four ABIs at API 21, standalone and as an
# app's module in Debug and RelWithDebInfo, with no warning, exactly the
# public exports, bionic and zlib and liblog alone as NEEDED, 16 KB pages,
# no __tls_get_addr; then the stripped sizes. Compiles and links only.
test-android-ndk:
	@scripts/install-packages.sh cmake make ninja-build clang-19 lld-19 libc++-19-dev libc++abi-19-dev
	tests/android/ndk_check.sh . build-android-check
	tests/android/libcxx_runtime_check.sh . build-android-check

# The Android library package from the NDK that ANDROID_NDK_ROOT names:
# build-aar/pelmLib-VERSION.aar, a Maven repository folder build-aar/maven
# (com.trevik.aes:pelmLib:VERSION) and the unstripped libraries' zip.
aar:
	@scripts/install-packages.sh cmake make ninja-build python3 openjdk-17-jdk-headless
	scripts/make-aar.sh . build-aar

# The AAR's entries, libraries, JSON, classes and POM, and an app shrunk by
# ProGuard with only the AAR's rules, run on the JVM and on ART.
test-aar: aar build
	@scripts/install-packages.sh proguard-cli libicu72 libexpat1 zlib1g liblz4-1 libatomic1 xz-utils
	tests/android/aar_check.sh . build-aar $(BUILD)

# The four natives on Android 10's ART (a host build of it, from
# ../shared/android-art-host or PELM_ART_HOST) with CheckJNI, against the
# library built as Android builds it; every output compared line by line with
# HotSpot's.
test-art: deps
	@scripts/install-packages.sh libicu72 libexpat1 zlib1g liblz4-1 libatomic1 xz-utils
	tests/jni/runtimes/art_check.sh . build-art

check: test sanitize fuzz soak test-openssl test-arm64 test-armv7 test-x86 test-table-path test-boringssl \
       test-art test-android-ndk test-aar ct-memcheck

# Speed beside the references, medians of interleaved repetitions; not part
# of the check (timings are no test). BENCH_ARGS passes Google Benchmark flags;
# BENCH_PROVIDER=openssl measures the envelope on libcrypto instead;
# BENCH_AES_INSTRUCTIONS=OFF builds without AES-NI and the Crypto
# Extensions, so every library row runs the software path.
BENCH_PROVIDER ?= builtin
BENCH_AES_INSTRUCTIONS ?= ON
bench-build: deps
	@scripts/install-packages.sh libbenchmark-dev valgrind python3
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_BENCH=ON $(CMAKE_QUIET) \
	  -DPELM_CRYPTO_PROVIDER=$(BENCH_PROVIDER) -DPELM_AES_INSTRUCTIONS=$(BENCH_AES_INSTRUCTIONS) \
	  -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	@cmake --build build-bench -j $(JOBS)

bench: bench-build
	build-bench/bench/pelm_bench --benchmark_out=build-bench/bench.json $(BENCH_ARGS)
	bench/ratios.py build-bench/bench.json

# The four methods through the JVM beside the JDK code an app would write.
# BENCH_JAVA_BASELINE=/path/to/an/older/libpelmLib.so times it alongside.
bench-java: build
	@mkdir -p $(BUILD)/bench-java
	javac -d $(BUILD)/bench-java bench/java/JavaBench.java
	java -Xms512m -Xmx512m -cp $(BUILD)/bench-java JavaBench $(BUILD)/pelmtools.jar \
	  $(BUILD)/libpelmLib.so $(BENCH_JAVA_BASELINE) 2> >(grep -v '^tagName E ' >&2)

# One run of both benchmarks, written into docs/performance.md with the
# machine it ran on: refreshing every number there is this one command.
performance-doc: bench-build build
	build-bench/bench/pelm_bench --benchmark_out=build-bench/bench.json $(BENCH_ARGS) > /dev/null
	$(MAKE) bench-java > build-bench/bench-java.txt
	python3 scripts/performance_doc.py build-bench/bench.json build-bench/bench-java.txt > docs/performance.md

# Instructions per byte of the engine's paths under callgrind.
bench-instr: bench-build
	bench/instructions.sh build-bench/bench/pelm_instr

# Constant time, two ways. Timing: dudect-style rows (fixed against random
# key, and plaintext) for every AES path this CPU runs, both key sizes, with
# key expansion; fails when a path within the claim shows |t| >= 4.5.
# CT_MEASUREMENTS is per class. Not in `check`: it takes minutes and wants
# a quiet machine.
CT_MEASUREMENTS ?= 10000000
ct-check: bench-build ct-memcheck
	build-bench/bench/pelm_ct_check $(CT_MEASUREMENTS)

# Without timing: valgrind's memcheck with keys and data marked undefined,
# on a builtin build without the AES instructions, so the constant-time
# software path carries both key sizes and the envelope's key handling.
ct-memcheck: deps
	@cmake -S . -B build-ct -DCMAKE_BUILD_TYPE=Release $(CMAKE_QUIET) -DPELM_CRYPTO_PROVIDER=builtin \
	  -DPELM_AES_INSTRUCTIONS=OFF -DPELM_BUILD_JAVA=OFF
	@cmake --build build-ct --target secrets_memcheck -j $(JOBS)
	ctest --test-dir build-ct --output-on-failure -R secrets_constant_time

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-arm64 build-arm64-clang build-armv7 build-armv7-sysroot build-x86 build-x86-sysroot \
	  build-openssl build-boringssl build-bench build-ct build-table-path build-android build-android-check build-aar build-art
