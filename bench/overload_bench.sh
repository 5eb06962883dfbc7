#!/usr/bin/env bash
# The emulator against nginx with one worker under 50, 300 and 1,000 concurrent clients (one request per
# connection), side by side, socket errors included; prints one line per load and the ratios.
# Usage: bench/overload_bench.sh [BUILD_DIR]   (environment: LOADS="50 300 1000" DURATION=10s ROUNDS=1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
# wrk and both servers need a descriptor per client and more.
ulimit -n "$(ulimit -Hn)"
printf '%-8s %14s %8s %14s %8s %8s\n' clients "emulator req/s" errors "nginx req/s" errors ratio
for load in ${LOADS:-50 300 1000}; do
    out=$(CONNECTIONS=$load DURATION=${DURATION:-10s} ROUNDS=${ROUNDS:-1} THREADS=${THREADS:-2} \
        "$root/bench/http_bench.sh" "$build" 2>/dev/null)
    emu=$(awk '/^brindlecorpc serve/ { print $3, $6 }' <<<"$out")
    ngx=$(awk '/^nginx/ { print $4, $7 }' <<<"$out")
    read -r emu_rps emu_err <<<"$emu"
    read -r ngx_rps ngx_err <<<"$ngx"
    awk -v l="$load" -v a="$emu_rps" -v ae="$emu_err" -v b="$ngx_rps" -v be="$ngx_err" \
        'BEGIN { printf "%-8s %14.0f %8d %14.0f %8d %8.2f\n", l, a, ae, b, be, a / b }'
done
