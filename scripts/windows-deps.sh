#!/usr/bin/env bash
# Builds the libraries the Windows builds link that Debian ships for Linux only, from
# Debian's own source packages, as static libraries for one mingw-w64 triplet:
#   scripts/windows-deps.sh <x86_64|i686> <prefix> [benchmark]
# libjpeg-turbo (the library), libpng and libtiff (the file formats of the tool and tests),
# GoogleTest (the tests, from the libgtest-dev sources in /usr/src/googletest) and, when asked,
# Google Benchmark. zlib comes
# from Debian's libz-mingw-w64-dev. The sources are fetched once with apt-get source, through
# a source list of this script's own under build/windows/apt (the system's is not touched),
# and unpacked with Debian's patches applied. A finished prefix is left as it is.
set -euo pipefail
arch=$1
triplet=$arch-w64-mingw32
prefix=$(realpath -m "$2")
want_bench=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/windows
src=$work/src
toolchain=$root/cmake/toolchain-$triplet.cmake
jobs=$(nproc 2>/dev/null || echo 2)
[ -f "$toolchain" ] || { echo "windows-deps: no toolchain file for '$arch'" >&2; exit 2; }

# ---- Sources: Debian's source packages, fetched once --------------------------------------
fetch_sources() {
  local apt=$work/apt missing=()
  for p in "$@"; do
    compgen -G "$src/$p-[0-9]*/" >/dev/null || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache" "$src"
  sed -n 's/^URIs: \(.*debian\/\?\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
    head -1 > "$apt/mirror"
  local mirror
  mirror=$(cat "$apt/mirror")
  mirror=${mirror:-http://deb.debian.org/debian}
  local suite
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  cat > "$apt/parts/debian-src.sources" <<EOF
Types: deb-src
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  local opts=(-o "Dir::Etc::SourceList=$apt/none.list" -o "Dir::Etc::SourceParts=$apt/parts"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
              -o "APT::Sandbox::User=root" -qq)
  apt-get "${opts[@]}" update
  (cd "$src" && apt-get "${opts[@]}" source --download-only "${missing[@]}")
  for dsc in "$src"/*.dsc; do
    local name
    name=$(basename "$dsc" | sed 's/_.*//')
    compgen -G "$src/$name-[0-9]*/" >/dev/null && continue
    (cd "$src" && dpkg-source --no-check -x "$(basename "$dsc")" >/dev/null)
  done
}

# ---- One CMake project, configured for the triplet, built and installed -----------------
build() {
  local name=$1 dir=$2
  shift 2
  local out=$work/deps-build/$triplet/$name
  cmake -S "$dir" -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@" >"$out.log" 2>&1 ||
    { tail -30 "$out.log"; exit 1; }
  cmake --build "$out" -j "$jobs" >>"$out.log" 2>&1 || { tail -30 "$out.log"; exit 1; }
  cmake --install "$out" >>"$out.log" 2>&1 || { tail -30 "$out.log"; exit 1; }
}

# Each library is built when its archive is missing; the sources of those only are fetched.
need=()
[ -f "$prefix/lib/libjpeg.a" ] || need+=(libjpeg-turbo)
[ -f "$prefix/lib/libpng.a" ] || need+=(libpng1.6)
[ -f "$prefix/lib/libtiff.a" ] || need+=(tiff)
[ "$want_bench" = benchmark ] && [ ! -f "$prefix/lib/libbenchmark.a" ] && need+=(benchmark)
[ ${#need[@]} -eq 0 ] && [ -f "$prefix/lib/libgtest.a" ] && exit 0
[ ${#need[@]} -eq 0 ] || fetch_sources "${need[@]}"
mkdir -p "$prefix" "$work/deps-build/$triplet"
dir() { compgen -G "$src/$1-[0-9]*/" | head -1; }

echo "windows-deps: $triplet into $prefix"
[ -f "$prefix/lib/libjpeg.a" ] ||
  build libjpeg-turbo "$(dir libjpeg-turbo)" -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_SIMD=OFF -DWITH_JAVA=OFF
[ -f "$prefix/lib/libpng.a" ] ||
  build libpng "$(dir libpng1.6)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -Dld-version-script=OFF
# libtiff with its built-in codecs and zlib's Deflate only (the formats write Deflate).
[ -f "$prefix/lib/libtiff.a" ] ||
  build libtiff "$(dir tiff)" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF \
    -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=OFF -Djpeg=OFF \
    -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dsphinx=OFF
[ -f "$prefix/lib/libgtest.a" ] ||
  build googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
if [ "$want_bench" = benchmark ] && [ ! -f "$prefix/lib/libbenchmark.a" ]; then
  build benchmark "$(dir benchmark)" -DBENCHMARK_ENABLE_TESTING=OFF \
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DGIT_VERSION=0.0.0
fi
