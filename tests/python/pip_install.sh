#!/usr/bin/env bash
# `pip install --no-build-isolation` of the source tree into a fresh virtual environment that
# sees Debian's packages (setuptools, numpy), with no package index: the module it installs
# must import and draw. The build runs in the tree (pip's in-tree build, under build/) with the
# calling build's CMake arguments, so a compiler cache serves it.
#   pip_install.sh PYTHON SOURCE_DIR [CMAKE_ARGS...]
set -euo pipefail
python=$1 source=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv --system-site-packages "$work/env"
CMAKE_ARGS="$*" "$work/env/bin/pip" install -q --no-build-isolation --no-index "$source"
cd "$work"
"$work/env/bin/python" -c '
import zumeld
assert zumeld.__file__.startswith("'"$work"'/env/")
assert zumeld.Map.sample(64, 48).render().shape == (48, 64, 3)'
echo "pip install: the module imports and draws"
