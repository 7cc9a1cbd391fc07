# Wraps CMake. The two commands: `make demo` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache")
CMAKE_FLAGS := $(GENERATOR) $(LAUNCHER)
WERROR := $(if $(CI),-DZUMELD_WERROR=ON,)

.PHONY: all bootstrap build demo test test-release test-sanitize bench clean

all: build

bootstrap:
	@scripts/bootstrap.sh

build/release/CMakeCache.txt:
	cmake -S . -B build/release $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release $(WERROR)

build: bootstrap build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS)

demo: build
	build/release/zumeld render -o demo.png
	@echo "$(CURDIR)/demo.png"

test: bootstrap test-release test-sanitize

test-release: build/release/CMakeCache.txt
	cmake --build build/release -j $(JOBS)
	cd build/release && ctest --output-on-failure -j $(JOBS)

build/sanitize/CMakeCache.txt:
	cmake -S . -B build/sanitize $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZUMELD_SANITIZE=ON -DZUMELD_BUILD_BENCH=OFF $(WERROR)

test-sanitize: build/sanitize/CMakeCache.txt
	cmake --build build/sanitize -j $(JOBS)
	cd build/sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: build
	build/release/bench/zumeld-bench

clean:
	rm -rf build
