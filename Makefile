# Thin wrapper over the CMake presets; every target installs what is missing first.
PRESET ?= dev
JOBS   ?= 2

.PHONY: deps build run test bench asan clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	build/$(PRESET)/src/cli/quillgate-cli --help

test: build
	ctest --preset $(PRESET) -j $(JOBS)

asan:
	$(MAKE) test PRESET=asan

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target kv_bench kv_ui_bench
	build/release/bench/kv_bench
	build/release/bench/kv_ui_bench

clean:
	rm -rf build
