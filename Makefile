# Thin wrapper over the CMake presets; every target installs what is missing first.
PRESET ?= dev
JOBS   ?= 2
FUZZ_SECONDS ?= 600
TRAY_RUNS ?= 5

.PHONY: deps build run test bench asan fuzz clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	build/$(PRESET)/src/app/quillgate

test: build
	ctest --preset $(PRESET) -j $(JOBS)

asan:
	$(MAKE) test PRESET=asan

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target kv_bench kv_sites_bench kv_ui_bench kv_main_window_bench \
	  kv_bare_tray quillgate
	build/release/bench/kv_bench
	build/release/bench/kv_sites_bench
	build/release/bench/kv_ui_bench
	build/release/bench/kv_main_window_bench
	bench/tray-startup.sh build/release $(TRAY_RUNS)

# Each fuzzer for FUZZ_SECONDS; new inputs collect in build/fuzz/corpus, crashes fail the target.
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	fuzz/run-fuzzer build/fuzz/fuzz/kv_url_fuzz $(FUZZ_SECONDS) fuzz/corpus/url build/fuzz/corpus/url
	fuzz/run-fuzzer build/fuzz/fuzz/kv_list_file_fuzz $(FUZZ_SECONDS) fuzz/corpus/list_file build/fuzz/corpus/list_file

clean:
	rm -rf build
