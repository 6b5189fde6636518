# make demo  - installs what is missing, builds the library and player-host, plays the sample
# make test  - installs what is missing, builds (plain, ASan, TSan), runs every test
# make soak  - 10,000 random host operations under AddressSanitizer
# make bench - builds and runs the benchmarks
# make mutate - plants each fault of tools/mutations.txt and runs the tests that should catch it

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build build-asan build-tsan test test-fast soak mutate demo bench install clean

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

# The threaded tests only (label tsan), under ThreadSanitizer.
build-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYERLIBAV_TSAN=ON -DPLAYERLIBAV_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS) --target tsan_tests

# Every test, in the plain build and under AddressSanitizer + UBSan, and the
# threaded ones under ThreadSanitizer.
test: build build-asan build-tsan
	tools/run-tests.sh build build-asan build-tsan
	tools/test-ratio.sh

# The long soak: 10,000 random host operations under AddressSanitizer.
soak: build-asan
	tools/soak.sh build-asan 10000

# The planted-fault campaign in its own scratch copy and builds (build-mutate/),
# hours long: not part of `make test`. MUTATE passes options, for example
# MUTATE="--folder audio" or MUTATE="seek-*" (tools/mutate.py --help).
mutate: deps
	tools/mutate.sh $(MUTATE)

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
	rm -rf build build-asan build-tsan build-mutate
