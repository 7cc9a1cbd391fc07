#!/usr/bin/env bash
# Installs the built tree into a temporary prefix, then builds examples/host against the
# installed package twice, with CMake's find_package and with pkg-config, and runs both
# programs: each must write the same .bmp picture. Every installed header must compile
# alone, and be one zumeld.h needs. Then Zumeld is built as another project's subproject,
# as a static library and without libpng: the parent's host links Zumeld::zumeld, and the
# static package it installs builds the example host as well.
#   install_and_build.sh CMAKE BUILD_DIR SOURCE_DIR CXX [CMAKE_ARGS...]
# CMAKE_ARGS (build type, compiler launcher, warnings) go to the subproject's configure.
set -euo pipefail
cmake_cmd=$1 build=$2 source=$3 cxx=$4
shift 4
sub_args=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake_cmd" --install "$build" --prefix "$prefix" >/dev/null

# What a host gets: headers, library, tool, CMake package, pkg-config file; no private headers.
libdir=$(dirname "$(find "$prefix" -name 'libzumeld.so' | head -n1)")
for f in include/zumeld/zumeld.h bin/zumeld; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ -e "$libdir/pkgconfig/zumeld.pc" ] || { echo "not installed: zumeld.pc"; exit 1; }
[ -e "$libdir/cmake/Zumeld/ZumeldConfigVersion.cmake" ] || { echo "not installed: ZumeldConfigVersion.cmake"; exit 1; }
"$prefix/bin/zumeld" --version >/dev/null

# Each installed header compiles alone, and each is one that zumeld.h includes.
needed=$(echo '#include <zumeld/zumeld.h>' |
  "$cxx" -std=c++20 -MM -I"$prefix/include" -x c++ - | tr ' \\' '\n\n' | grep "^$prefix/include/" | sort -u)
for header in $(find "$prefix/include" -type f | sort); do
  echo "#include <${header#"$prefix/include/"}>" |
    "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$prefix/include" -x c++ - ||
    { echo "does not compile alone: $header"; exit 1; }
  grep -qxF "$header" <<<"$needed" || { echo "installed but not part of the API: $header"; exit 1; }
done

# CMake: find_package(Zumeld CONFIG) and Zumeld::zumeld.
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
"$cmake_cmd" -S "$source/examples/host" -B "$work/cmake-build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >/dev/null
"$cmake_cmd" --build "$work/cmake-build" >/dev/null
"$work/cmake-build/zumeld-host" "$work/cmake.bmp"

# pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion zumeld)" != "" ]
# shellcheck disable=SC2046
# The README's line: the rpath lets the program find the library without LD_LIBRARY_PATH.
"$cxx" -std=c++20 -o "$work/host-pc" "$source/examples/host/main.cpp" $(pkg-config --cflags --libs zumeld) \
  -Wl,-rpath,"$(pkg-config --variable=libdir zumeld)"
env -u LD_LIBRARY_PATH "$work/host-pc" "$work/pkgconfig.bmp"

cmp "$work/cmake.bmp" "$work/pkgconfig.bmp"

# The Python module, when the build has it: in the prefix's package folder, importable there.
python=$(sed -n 's/^ZUMELD_PYTHON_EXECUTABLE:INTERNAL=//p' "$build/CMakeCache.txt")
if [ -n "$python" ]; then
  module=$(find "$prefix" -name 'zumeld.cpython-*' | head -n1)
  [ -n "$module" ] || { echo "not installed: the Python module"; exit 1; }
  (cd "$work" && PYTHONPATH=$(dirname "$module") "$python" -c \
    'import zumeld; assert zumeld.Map.sample(64, 48).render().shape == (48, 64, 3)')
fi
# A 320 x 240 24-bit picture: 54-byte headers and 960-byte rows.
[ "$(head -c2 "$work/cmake.bmp")" = "BM" ]
[ "$(stat -c %s "$work/cmake.bmp")" -eq $((54 + 960 * 240)) ]

# A parent project: add_subdirectory, BUILD_SHARED_LIBS off, libpng not to be found.
mkdir -p "$work/parent"
cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.21)
project(Parent LANGUAGES C CXX)
set(ZUMELD_INSTALL ON)
add_subdirectory("$source" zumeld)
add_executable(parent-host "$source/examples/host/main.cpp")
target_link_libraries(parent-host PRIVATE Zumeld::zumeld)
CMAKE
"$cmake_cmd" -S "$work/parent" -B "$work/parent-build" "${generator[@]}" "${sub_args[@]}" \
  -DCMAKE_CXX_COMPILER="$cxx" -DBUILD_SHARED_LIBS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON >/dev/null
if "$cmake_cmd" --build "$work/parent-build" --target help | grep -q 'zumeld-cli\|zumeld-tests'; then
  echo "the subproject builds the tool or the tests"; exit 1
fi
"$cmake_cmd" --build "$work/parent-build" --target parent-host >/dev/null
"$work/parent-build/parent-host" "$work/parent.bmp"
cmp "$work/cmake.bmp" "$work/parent.bmp"
"$cmake_cmd" --install "$work/parent-build" --prefix "$work/static" >/dev/null
[ -e "$(find "$work/static" -name libzumeld.a | head -n1)" ] || { echo "no static library installed"; exit 1; }
"$cmake_cmd" -S "$source/examples/host" -B "$work/static-build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$work/static" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >/dev/null
"$cmake_cmd" --build "$work/static-build" >/dev/null
"$work/static-build/zumeld-host" "$work/static.bmp"
cmp "$work/cmake.bmp" "$work/static.bmp"
echo "install and build: 4 passed, 0 failed"
