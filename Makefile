# Wraps CMake. The two commands: `make demo` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache")
CMAKE_FLAGS := $(GENERATOR) $(LAUNCHER)
WERROR := $(if $(CI),-DZUMELD_WERROR=ON,)

.PHONY: all bootstrap bootstrap-test build demo test test-release test-sanitize test-tsan \
	test-browser test-load test-fuzz fuzz fuzz-build bench clean \
	test-gdi-diff bootstrap-windows build-windows test-windows bench-windows

all: build

bootstrap:
	@scripts/bootstrap.sh

bootstrap-test:
	@scripts/bootstrap.sh test

# The Python module is built for Debian's interpreter, which has numpy and pybind11 (the
# python3 first on PATH may be another). A release folder configured before the module
# existed gets it at the next build.
PYTHON ?= /usr/bin/python3
PYTHON_FLAGS := -DZUMELD_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON)
define with_python
	@grep -q '^ZUMELD_PYTHON:BOOL=ON' build/release/CMakeCache.txt || \
	  cmake build/release $(PYTHON_FLAGS) >/dev/null
endef

build/release/CMakeCache.txt:
	cmake -S . -B build/release $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release $(WERROR) $(PYTHON_FLAGS)

build: bootstrap build/release/CMakeCache.txt
	$(with_python)
	cmake --build build/release -j $(JOBS)

demo: build
	build/release/zumeld render -o demo.png
	@echo "$(CURDIR)/demo.png"
	build/release/zumeld generate -o build/demo.elv
	build/release/zumeld export build/demo.elv build/demo.tif
	PYTHONPATH=build/release/python $(PYTHON) examples/python/relief.py build/demo.tif \
	  -o demo-python.png --width 1024 --no-show
	@echo "$(CURDIR)/demo-python.png"

test: bootstrap-test test-release test-sanitize test-tsan test-browser test-load test-fuzz

test-release: build/release/CMakeCache.txt
	$(with_python)
	cmake --build build/release -j $(JOBS)
	cd build/release && ctest --output-on-failure -j $(JOBS)

build/sanitize/CMakeCache.txt:
	cmake -S . -B build/sanitize $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZUMELD_SANITIZE=ON -DZUMELD_BUILD_BENCH=OFF $(WERROR)

test-sanitize: build/sanitize/CMakeCache.txt
	cmake --build build/sanitize -j $(JOBS)
	cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The server's tests once more under ThreadSanitizer: only what they need is built.
build/tsan/CMakeCache.txt:
	cmake -S . -B build/tsan $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZUMELD_TSAN=ON \
	  -DZUMELD_BUILD_BENCH=OFF -DZUMELD_INSTALL=OFF $(WERROR)

test-tsan: build/tsan/CMakeCache.txt
	cmake --build build/tsan -j $(JOBS) --target zumeld-serve-tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build/tsan/tests/zumeld-serve-tests

# The page in headless Chromium against a served map; writes build/serve-page.png.
test-browser: build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS) --target zumeld-cli
	/usr/bin/python3 tests/browser/page_test.py build/release/zumeld build/serve-page.png

# 20,000 tile requests from 32 connections while edits land, on the loopback interface.
test-load: build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS) --target zumeld-cli zumeld-serve-load
	bench/serve_load.sh build/release 20000

# libFuzzer targets (fuzz/): their own clang build with ASan and UBSan. `make fuzz` runs
# each for FUZZ_SECONDS; `make test` runs each for FUZZ_TEST_SECONDS over its committed
# corpus with a fixed seed, so a failure there can be replayed. New inputs go to
# build/fuzz/work/<target>; a crash leaves its input in build/fuzz/artifacts/ and fails the run.
FUZZ_SECONDS ?= 60
FUZZ_TEST_SECONDS ?= 10
FUZZ_TARGETS := elv_loader_fuzz dib_reader_fuzz geometry_fuzz map_api_fuzz geotiff_reader_fuzz
FUZZ_FLAGS := -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=60 -print_final_stats=1
CLANGXX := $(shell command -v clang++ 2>/dev/null)

build/fuzz/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZUMELD_FUZZ=ON -DZUMELD_BUILD_TESTS=OFF -DZUMELD_BUILD_BENCH=OFF -DZUMELD_INSTALL=OFF

fuzz-build: build/fuzz/CMakeCache.txt
	cmake --build build/fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

define run_fuzzers
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/work/$$t build/fuzz/artifacts; \
	  echo "== $$t for $(1) s"; \
	  build/fuzz/fuzz/$$t $(FUZZ_FLAGS) $(2) -max_total_time=$(1) \
	    -artifact_prefix=build/fuzz/artifacts/$$t- build/fuzz/work/$$t fuzz/corpus/$$t \
	    > build/fuzz/$$t.log 2>&1 || { tail -60 build/fuzz/$$t.log; echo "$$t FAILED"; exit 1; }; \
	  grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' build/fuzz/$$t.log; \
	done
endef

fuzz: fuzz-build
	$(call run_fuzzers,$(FUZZ_SECONDS))

test-fuzz:
ifeq ($(CLANGXX),)
	@echo "test-fuzz: clang++ not found, the fuzz targets are not run (install clang)"
else
	$(MAKE) fuzz-build
	$(call run_fuzzers,$(FUZZ_TEST_SECONDS),-seed=1)
endif

# The GDI probe (tests/gdi_diff/) built for 64-bit Windows and run under Wine: Windows' output
# must equal the recorded one, and the Linux build's must equal it case for case, save the
# Wine faults that tests/gdi_diff/wine_faults.txt lists.
WINE64 ?= $(shell command -v wine64 2>/dev/null || echo /usr/lib/wine/wine64)
WINESERVER ?= $(shell command -v wineserver 2>/dev/null || echo /usr/lib/wine/wineserver)
WINE_ENV := WINEPREFIX=$(CURDIR)/build/windows/wine WINEDEBUG=-all
MINGW64_CXX ?= x86_64-w64-mingw32-g++

test-gdi-diff: build/release/CMakeCache.txt build/windows/wine/system.reg
	cmake --build build/release -j $(JOBS) --target zumeld-gdi-probe
	mkdir -p build/gdi_diff
	$(MINGW64_CXX) -std=c++20 -O2 -Wall -Wextra $(if $(CI),-Werror,) -static \
	  -o build/gdi_diff/gdi_probe.exe tests/gdi_diff/gdi_probe.cpp -lgdi32
	$(WINE_ENV) $(WINE64) build/gdi_diff/gdi_probe.exe \
	  > build/gdi_diff/windows.txt
	cmake -DPROBE=build/release/tests/zumeld-gdi-probe -DEXPECTED=build/gdi_diff/windows.txt \
	  -DRECORDED=tests/gdi_diff/windows.txt -DFAULTS=tests/gdi_diff/wine_faults.txt \
	  -P tests/gdi_diff/compare.cmake

bench: build
	build/release/bench/zumeld-bench

# Windows builds (docs/WINDOWS.md), cross-compiled with mingw-w64: the 32-bit one (the library's
# own target) is built and linked; the 64-bit one runs the release tests under wine64, leaving
# out the tests labelled posix-only, then the GDI probe's comparison (test-gdi-diff). Wine keeps
# its state in build/windows/wine.
WINDOWS_ARCHES := i686 x86_64

bootstrap-windows:
	@scripts/bootstrap.sh windows

windows-deps-%:
	@scripts/windows-deps.sh $* build/windows/deps/$*

build/windows/%/CMakeCache.txt: | windows-deps-%
	cmake -S . -B build/windows/$* $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$*-w64-mingw32.cmake \
	  -DZUMELD_WINDOWS_DEPS=$(CURDIR)/build/windows/deps/$* -DZUMELD_BUILD_BENCH=OFF $(WERROR)

build-windows: bootstrap-windows $(WINDOWS_ARCHES:%=windows-deps-%) \
	  $(WINDOWS_ARCHES:%=build/windows/%/CMakeCache.txt)
	@set -e; for a in $(WINDOWS_ARCHES); do cmake --build build/windows/$$a -j $(JOBS); done

# The first start of Wine makes its prefix (a minute or less); the server stays up for the run.
build/windows/wine/system.reg:
	$(WINE_ENV) $(WINE64) wineboot --init >/dev/null 2>&1
	$(WINE_ENV) $(WINESERVER) -w

# Wine's services start with its first program and would hold ctest's output pipes open, so
# they start here first, under a server that stays up until the tests are done.
test-windows: build-windows build/windows/wine/system.reg
	@set -e; export $(WINE_ENV); trap '$(WINESERVER) -k' EXIT; $(WINESERVER) -p 2>/dev/null || true; \
	  $(WINE64) wineboot >/dev/null 2>&1 </dev/null; \
	  cd build/windows/x86_64 && ctest --output-on-failure -j $(JOBS) -LE posix-only
	$(MAKE) test-gdi-diff

# The benchmarks of the 64-bit Windows build under wine64, beside `make bench`'s.
bench-windows: bootstrap-windows build/windows/wine/system.reg
	scripts/windows-deps.sh x86_64 build/windows/deps/x86_64 benchmark
	cmake -S . -B build/windows/bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
	  -DZUMELD_WINDOWS_DEPS=$(CURDIR)/build/windows/deps/x86_64 -DZUMELD_BUILD_TESTS=OFF
	cmake --build build/windows/bench -j $(JOBS) --target zumeld-bench
	$(WINE_ENV) $(WINE64) build/windows/bench/zumeld-bench.exe $(BENCH_ARGS)

clean:
	rm -rf build
