#!/usr/bin/env bash
# The throughput goals of zumeld serve, measured with wrk on the loopback interface (10 s
# each, 32 keep-alive connections, the built-in map):
#   cached    64 tiles requested over and over after a warm-up (requests/s, latency)
#   uncached  random tiles and styles with the tile cache off: every request is drawn and
#             encoded (tiles/s with all cores, latency)
# The load (uptime) is printed with the figures: the machine is shared.
#
#   bench/serve_goals.sh [BUILD_DIR]      (default build/release; needs wrk)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build/release}"
command -v wrk >/dev/null || { echo "serve_goals: wrk is not installed (scripts/bootstrap.sh bench)"; exit 1; }
work="$(mktemp -d)"
server=""
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

serve() {  # serve OPTIONS...: starts zumeld serve, sets $url
    "$build/zumeld" serve --port 0 "$@" >"$work/url" &
    server=$!
    for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
    url="$(head -1 "$work/url")"
}
stop() { kill -TERM "$server"; wait "$server" || true; server=""; rm -f "$work/url"; }
measure() {  # measure NAME: one 10 s wrk run with the latency distribution
    echo "== $1 ($(uptime | sed 's/.*load/load/'))"
    wrk -t2 -c32 -d10s --latency -s "$here/serve/tiles.lua" "$url" |
        grep -E 'Requests/sec|Transfer/sec|^ +(50|90|99)%'
    echo "   server CPU time: $(ps -o time= -p "$server")"
}

serve
TILES=64 wrk -t2 -c32 -d2s -s "$here/serve/tiles.lua" "$url" >/dev/null  # warm the cache
TILES=64 measure "cached: 64 tiles"
stop
serve --cache-mb 0
measure "uncached: random tiles and styles, no tile cache"
stop
