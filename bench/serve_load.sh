#!/usr/bin/env bash
# The load test of zumeld serve, on the loopback interface only and bounded in count and
# time: 20,000 tile requests from 32 keep-alive connections over random tiles and styles of
# the built-in map while edits and undos land (bench/serve/serve_load.cpp), against a
# server with a 64 MiB tile cache. Fails on any error, a tile mixing two map states, a
# server that does not end cleanly on SIGTERM, or a server peak memory above the cache
# setting plus 200 MiB for the map, its history and the drawing threads.
#
#   bench/serve_load.sh [BUILD_DIR] [REQUESTS]       (default build/release 20000)
set -euo pipefail
build="${1:-build/release}"
requests="${2:-20000}"
cache_mb=64
work="$(mktemp -d)"
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$build/zumeld" serve --port 0 --cache-mb "$cache_mb" >"$work/url" &
server=$!
for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
url="$(head -1 "$work/url")"
echo "load: $url, $(uptime | sed 's/.*load/load/')"
"$build/bench/zumeld-serve-load" "$url" --requests "$requests" --connections 32 --pid "$server" \
    --seconds 240 | tee "$work/report"
peak_kb=$(sed -n "s/^server memory: peak *\([0-9]*\) kB.*/\1/p" "$work/report")
kill -TERM "$server"
wait "$server" && status=0 || status=$?
server=""
[ "$status" -eq 0 ] || { echo "load: zumeld serve ended with status $status on SIGTERM"; exit 1; }
limit_kb=$(((cache_mb + 200) * 1024))
[ "${peak_kb:-0}" -le "$limit_kb" ] || { echo "load: peak memory ${peak_kb} kB above ${limit_kb} kB"; exit 1; }
echo "load: passed (peak memory ${peak_kb} kB, bound ${limit_kb} kB)"
