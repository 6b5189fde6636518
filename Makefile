# make demo  - installs what is missing, builds the library and player-host, plays the sample
# make test  - installs what is missing, builds (plain and sanitized), runs every test
# make bench - builds and runs the benchmarks

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build build-asan test test-fast demo bench install clean

all: build

deps:
	tools/install-deps.sh

configure: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build build -j$(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPLAYERLIBAV_SANITIZE=ON -DPLAYERLIBAV_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)

# Every test, in the plain build and under AddressSanitizer + UBSan.
test: build build-asan
	tools/run-tests.sh build build-asan

# The plain build's tests only.
test-fast: build
	tools/run-tests.sh build

# Only what the demo runs: player-host and the plug-in it loads, not the tests.
demo: configure
	cmake --build build -j$(JOBS) --target player-host
	tools/demo.sh build

bench: build
	tools/run-bench.sh build

install: build
	cmake --install build

clean:
	rm -rf build build-asan
