# Thin wrappers over the CMake presets; see README.md.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SAMPLE_KEY ?= Sample

.PHONY: deps build run test bench fuzz asan package clean

deps:
	@bash scripts/deps.sh

build: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

run: build
	@test -x build/debug/src/app/harrowvane || { echo "make run: the harrowvane program is not built yet (src/app)"; exit 1; }
	cd build/debug/data/sample && HARROWVANE_CONFIG_DIR=$(CURDIR)/build/debug/data/sample ../../src/app/harrowvane $(SAMPLE_KEY)

test: build
	cd build/debug && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	cd build/asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bash scripts/bench.sh build/release

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target fuzzers
	bash scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

package: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	cd build/release && cpack

clean:
	rm -rf build
