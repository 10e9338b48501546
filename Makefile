# SPDX-License-Identifier: GPL-3.0-or-later
# Thin wrapper over the CMake presets; every target installs what is missing first.
PRESET ?= dev
JOBS   ?= 2
FUZZ_SECONDS ?= 600
TRAY_RUNS ?= 5
# Every fuzzer, by the name of its seed corpus in fuzz/corpus.
FUZZERS = url list_file profile_file autostart master_key stdin_line password_rules records_file
# Where `make install` puts the programs and the desktop's files (DESTDIR is honoured as well).
PREFIX ?= /usr/local

.PHONY: deps build run check test test-native test-windows bench asan format format-fix tidy fuzz \
	clean install package screenshot

deps:
	@scripts/install-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	build/$(PRESET)/src/app/quillgate

# The quick loop: the dev build, its unit and widget tests (no real display, program or package).
check:
	$(MAKE) build PRESET=dev
	ctest --preset check -j $(JOBS)

# Every check, the quickest first: formatting, the native tests, the Windows build's under Wine,
# the clang build's under the sanitizers, clang-tidy. Each runs even when an earlier one failed;
# any failure fails the target. Continuous integration (.ci/run) runs exactly this.
# Each stage's wall time is printed as it ends.
test: deps
	@status=0; times=; \
	for stage in format test-native test-windows asan tidy; do \
	  start=$$(date +%s); \
	  $(MAKE) --no-print-directory $$stage || status=1; \
	  times="$$times$$stage $$(( $$(date +%s) - start )) s; "; \
	  echo "== $$stage took $$(( $$(date +%s) - start )) s"; \
	done; \
	echo "== stages: $$times"; \
	exit $$status

# The native build's tests alone (preset dev, or PRESET).
test-native: build
	ctest --preset $(PRESET) -j $(JOBS)

# Cross-built with mingw-w64 (preset "windows"), run under Wine in a private prefix.
test-windows:
	JOBS=$(JOBS) scripts/test-windows

# The clang build with warnings as errors, its tests under the address and undefined-behaviour
# sanitizers, and each fuzzer briefly. Left out: the fault journeys and the package's checks, which
# the native tests run on the same sources.
asan:
	$(MAKE) build PRESET=asan
	ctest --preset asan -j $(JOBS) -LE '^(faults|package)$$'

# Every C++ source and header must be as clang-format writes it (.clang-format); format-fix
# rewrites those that are not.
SOURCE_DIRS = src tests bench fuzz
format: deps
	find $(SOURCE_DIRS) \( -name '*.cpp' -o -name '*.h' \) -print0 | \
	  xargs -0 clang-format --dry-run --Werror

format-fix: deps
	find $(SOURCE_DIRS) \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format -i

# clang-tidy (.clang-tidy) over the project's own files, with the asan build's compile commands.
tidy: deps
	$(MAKE) build PRESET=asan
	scripts/tidy build/asan $(JOBS) 'src|tests|bench|fuzz'

bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target kv_bench kv_sites_bench kv_ui_bench kv_main_window_bench \
	  kv_fingerprint_bench kv_bare_tray kv_tray_probe quillgate
	build/release/bench/kv_bench
	build/release/bench/kv_fingerprint_bench
	build/release/bench/kv_sites_bench
	build/release/bench/kv_ui_bench
	build/release/bench/kv_main_window_bench
	bench/tray-startup.sh build/release $(TRAY_RUNS)
	bench/second-start.sh build/release 9

# Each fuzzer (the asan build's) for FUZZ_SECONDS; new inputs collect in build/asan/corpus,
# crashes fail the target.
fuzz: deps
	$(MAKE) build PRESET=asan
	@for fuzzer in $(FUZZERS); do \
	  echo "== $$fuzzer"; \
	  fuzz/run-fuzzer build/asan/fuzz/kv_$${fuzzer}_fuzz $(FUZZ_SECONDS) fuzz/corpus/$$fuzzer \
	    build/asan/corpus/$$fuzzer || exit 1; \
	done

# The optimised programs without the tests (preset "package"), with the menu entry, icons, AppStream
# metadata and manual pages, into PREFIX.
install: deps
	cmake --preset package >/dev/null
	cmake --build --preset package -j $(JOBS)
	cmake --install build/package --prefix $(PREFIX)

# The Debian package of the same build: build/package/package/quillgate_<version>_<arch>.deb.
package: deps
	cmake --preset package >/dev/null
	cmake --build --preset package -j $(JOBS)
	cd build/package && cpack -G DEB

# The README's picture of the window, as the end-to-end test leaves it after "Generate".
screenshot: build
	ctest --preset $(PRESET) -R '^RealTray\.GenerateCopyAndExit$$'
	cp build/$(PRESET)/tests/app/generate-and-copy.png docs/screenshot.png

clean:
	rm -rf build
