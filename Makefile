# Front door: `make demo` and `make test` set up, build and run on a fresh
# Debian 12 machine. `make check` is everything CI proves.
BUILD ?= build
JOBS ?= $(shell nproc)

PACKAGES := cmake make g++ zlib1g-dev libssl-dev android-liblog-dev \
            openjdk-17-jdk-headless libgtest-dev junit5

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps build demo test check clean

# Installs only what is missing, so a second run does nothing.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/seal_demo
	java -Djava.library.path=$(BUILD) -cp $(BUILD)/pelmtools.jar:$(BUILD)/pelm-demo.jar Demo

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

check: test

clean:
	rm -rf $(BUILD)
