#!/usr/bin/env bash
# Installs the Debian packages a step needs, when they are missing.
#   scripts/bootstrap.sh            what the build and `make demo` need (with the Python module)
#   scripts/bootstrap.sh test       + what `make test` needs (fuzzers, browser, pytest, pip)
#   scripts/bootstrap.sh windows    + the mingw-w64 toolchains, wine64, Xvfb (`make test-windows`)
#   scripts/bootstrap.sh bench      + the peers `bench/peers.sh` compares against
# As root it runs apt-get; otherwise it prints the one command to run and stops.
set -euo pipefail

build=(cmake g++ make ninja-build pkg-config libjpeg62-turbo-dev libpng-dev zlib1g-dev
       libtiff-dev libgeotiff-dev libsqlite3-dev libcpp-httplib-dev libjs-leaflet
       nlohmann-json3-dev python3-dev pybind11-dev python3-numpy python3-matplotlib)
test=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
      chromium chromium-driver python3-selenium
      python3-pytest python3-setuptools python3-pip python3-venv)
windows=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev wine64 xvfb imagemagick)
bench=(gdal-bin python3-gdal zstd wrk hyperfine sqlite3)
optional=(ccache)

packages=("${build[@]}")
for group in "$@"; do
  case "$group" in
    test) packages+=("${test[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    bench) packages+=("${bench[@]}") ;;
    *) echo "bootstrap: unknown group '$group' (test, windows, bench)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Nice to have (faster rebuilds); the build works without it.
apt-get install -y -qq --no-install-recommends "${optional[@]}" >/dev/null 2>&1 || true
