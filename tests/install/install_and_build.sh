#!/usr/bin/env bash
# Installs the built tree into a temporary prefix, then builds examples/host against the
# installed package twice, with CMake's find_package and with pkg-config, and runs both
# programs: each must write the same .bmp picture.
#   install_and_build.sh CMAKE BUILD_DIR SOURCE_DIR CXX
set -euo pipefail
cmake_cmd=$1 build=$2 source=$3 cxx=$4

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
if find "$prefix/include" -name '*_p.h' | grep -q .; then
  echo "private headers were installed"; exit 1
fi
"$prefix/bin/zumeld" --version >/dev/null

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
"$cxx" -std=c++20 -o "$work/host-pc" "$source/examples/host/main.cpp" $(pkg-config --cflags --libs zumeld)
LD_LIBRARY_PATH=$libdir "$work/host-pc" "$work/pkgconfig.bmp"

cmp "$work/cmake.bmp" "$work/pkgconfig.bmp"
# A 320 x 240 24-bit picture: 54-byte headers and 960-byte rows.
[ "$(head -c2 "$work/cmake.bmp")" = "BM" ]
[ "$(stat -c %s "$work/cmake.bmp")" -eq $((54 + 960 * 240)) ]
echo "install and build: 2 passed, 0 failed"
