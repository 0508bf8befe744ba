# Front door: `make demo` and `make test` set up, build and run on a fresh
# Debian 12 machine. `make check` is everything CI proves.
SHELL := /bin/bash
BUILD ?= build
JOBS ?= $(shell nproc)

PACKAGES := cmake make g++ zlib1g-dev libssl-dev android-liblog-dev \
            openjdk-17-jdk-headless libgtest-dev junit5
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
ARM64_PACKAGES := g++-aarch64-linux-gnu qemu-user libc6:arm64 zlib1g-dev:arm64 \
                  libssl-dev:arm64 android-liblog-dev:arm64 libgtest-dev:arm64
FUZZ_SECONDS ?= 30
FUZZ_TARGETS := envelope_open envelope_roundtrip hex_line hex_codec \
                text_decrypt text_roundtrip aes_modes_differential java_text

.PHONY: deps deps-fuzz deps-arm64 build demo test check clean sanitize fuzz soak test-arm64 bench bench-instr bench-java ct-check

# Installs only what is missing, so a second run does nothing.
deps:
	scripts/install-packages.sh $(PACKAGES)

deps-fuzz: deps
	scripts/install-packages.sh $(FUZZ_PACKAGES)

deps-arm64: deps
	scripts/install-packages.sh $(ARM64_PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/seal_demo
	java -Djava.library.path=$(BUILD) -cp $(BUILD)/pelmtools.jar:$(BUILD)/pelm-demo.jar Demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE soak

# The native suites under AddressSanitizer + UndefinedBehaviorSanitizer
# (leak checking on), then the concurrency tests under ThreadSanitizer.
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPELM_SANITIZE=address,undefined -DPELM_BUILD_JAVA=OFF
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPELM_SANITIZE=thread -DPELM_BUILD_JAVA=OFF
	cmake --build build-tsan -j $(JOBS) --target envelope_tests aes128_tests
	TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/aes128_tests --gtest_filter='Concurrency*'
	TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/envelope_tests --gtest_filter='*Concurrency*'

# Every libFuzzer target for FUZZ_SECONDS, under ASan + UBSan, starting from
# the committed seeds. New inputs go to a scratch corpus in the build folder.
fuzz: deps-fuzz
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPELM_FUZZ=ON -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	cmake --build build-fuzz -j $(JOBS)
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The JVM soak test: hundreds of thousands of calls, memory must stay flat.
soak: build
	ctest --test-dir $(BUILD) --output-on-failure -L soak

# The library and the native suites built for 64-bit Arm Linux and run under
# qemu-aarch64: arm64's unsigned char and 16 KB page alignment are checked here.
test-arm64: deps-arm64
	cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_JAVA=OFF
	cmake --build build-arm64 -j $(JOBS)
	ctest --test-dir build-arm64 --output-on-failure

check: test sanitize fuzz soak test-arm64

# Speed beside the references, medians of interleaved repetitions; not part
# of the check (timings are no test). BENCH_ARGS passes Google Benchmark flags.
bench: deps
	scripts/install-packages.sh libbenchmark-dev python3
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_BENCH=ON \
	  -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	cmake --build build-bench -j $(JOBS) --target pelm_bench
	build-bench/bench/pelm_bench --benchmark_out=build-bench/bench.json $(BENCH_ARGS)
	bench/ratios.py build-bench/bench.json

# The four methods through the JVM beside the JDK code an app would write.
# BENCH_JAVA_BASELINE=/path/to/an/older/libpelmLib.so times it alongside.
bench-java: build
	mkdir -p $(BUILD)/bench-java
	javac -d $(BUILD)/bench-java bench/java/JavaBench.java
	java -Xms512m -Xmx512m -cp $(BUILD)/bench-java JavaBench $(BUILD)/pelmtools.jar \
	  $(BUILD)/libpelmLib.so $(BENCH_JAVA_BASELINE) 2> >(grep -v '^tagName E ' >&2)

# A dudect-style timing-leak measurement of both engine paths (not a test).
CT_MEASUREMENTS ?= 1000000
ct-check: deps
	scripts/install-packages.sh libbenchmark-dev
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_BENCH=ON \
	  -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	cmake --build build-bench -j $(JOBS) --target pelm_ct_check
	build-bench/bench/pelm_ct_check $(CT_MEASUREMENTS)

# Instructions per byte of the engine's paths under callgrind.
bench-instr: deps
	scripts/install-packages.sh valgrind libbenchmark-dev
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELM_BUILD_BENCH=ON \
	  -DPELM_BUILD_TESTS=OFF -DPELM_BUILD_JAVA=OFF
	cmake --build build-bench -j $(JOBS) --target pelm_instr
	bench/instructions.sh build-bench/bench/pelm_instr

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-arm64 build-bench
