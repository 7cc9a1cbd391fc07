#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# As root it runs apt-get; otherwise it prints the one command to run and stops.
set -euo pipefail

packages=(cmake g++ make ninja-build pkg-config libjpeg62-turbo-dev libpng-dev libgtest-dev
          libbenchmark-dev)
optional=(ccache clang)

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
apt-get install -y -qq "${missing[@]}"
# Nice to have (faster rebuilds, a second compiler); the build works without them.
apt-get install -y -qq "${optional[@]}" >/dev/null 2>&1 || true
