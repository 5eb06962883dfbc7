#!/usr/bin/env bash
# Requests per second and p50/p99 latency of `brindlecorpc serve` against nginx with one worker serving the
# same rendered page, one request per connection, measured in the same run; prints the ratios.
# Usage: bench/http_bench.sh [BUILD_DIR]   (environment: DURATION=10s CONNECTIONS=50 THREADS=2 ROUNDS=3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
server=$build/bin/brindlecorpc
duration=${DURATION:-10s}
connections=${CONNECTIONS:-50}
threads=${THREADS:-2}

[ -x "$server" ] || { echo "no $server: build first (cmake --build $build)" >&2; exit 1; }

find_nginx() { command -v nginx || { [ -x /usr/sbin/nginx ] && echo /usr/sbin/nginx; } || true; }
if ! command -v wrk >/dev/null || [ -z "$(find_nginx)" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y wrk nginx-light >&2
fi
nginx=$(find_nginx)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then echo "$port"; return; fi
    done
    echo "no free port found" >&2
    exit 1
}

# The demo site, its main page without any status line of its own: the emulator then puts its header with a
# Content-Length in front, so that the client can tell complete answers from cut ones.
[ -x "$build/bin/tamarquill" ] || { echo "no $build/bin/tamarquill: build first" >&2; exit 1; }
cp -r "$root/examples/demo" "$work/demo"
rm -f "$work/demo/demo.kvb"
awk 'NR == 1 && !/^HTTP\// { body = 1 } body { print; next } { sub(/\r+$/, "") } $0 == "" { body = 1 }' \
    "$root/examples/demo/site/index.htm" >"$work/demo/site/index.htm"
"$build/bin/tamarquill" make "$work/demo/demo.kvd" >"$work/make.log" 2>&1 ||
    { echo "tamarquill make failed:" >&2; cat "$work/make.log" >&2; exit 1; }
image=$work/demo/demo.kvb

# The emulator, with settings of its own and every UDP service on a port of its own.
emu_port=$(free_port)
mkdir -p "$work/config"
XDG_CONFIG_HOME=$work/config "$server" serve "$image" --bind 127.0.0.1 --http-port "$emu_port" \
    --download-port 0 --name-port 0 --ram-port 0 --datagram-port 0 >"$work/serve.out" 2>"$work/serve.err" &
pids+=($!)
for _ in $(seq 100); do grep -q "^http://" "$work/serve.out" 2>/dev/null && break; sleep 0.05; done
grep -q "^http://" "$work/serve.out" || { echo "serve did not start:" >&2; cat "$work/serve.err" >&2; exit 1; }

# nginx serves the body of the page the emulator renders, from a config of our own as this user.
mkdir -p "$work/www" "$work/nginx"
curl -s "http://127.0.0.1:$emu_port/" >"$work/www/index.html"
[ -s "$work/www/index.html" ] || { echo "the emulator served an empty page" >&2; exit 1; }
nginx_port=$(free_port)
# Started as root, nginx would hand its worker to another user; keep it with this one.
user_line=""
[ "$(id -u)" -ne 0 ] || user_line="user $(id -un);"
cat >"$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    default_type text/html;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/www;
        index index.html;
    }
}
CONF
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>"$work/nginx/start.err" &
pids+=($!)
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$nginx_port/" >/dev/null && break; sleep 0.05; done
curl -sf "http://127.0.0.1:$nginx_port/" >/dev/null || { echo "nginx did not start:" >&2; cat "$work/nginx/start.err" "$work/nginx/error.log" >&2; exit 1; }

# Prints "rps p50_ms p99_ms failed" for one wrk run.
measure() {
    local out
    out=$(wrk -t"$threads" -c"$connections" -d"$duration" --latency -H 'Connection: close' "$1")
    echo "$out" >>"$work/wrk.log"
    echo "$out" | awk '
        function ms(v) {
            if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v
        }
        /Requests\/sec:/ { rps = $2 }
        $1 == "50%" { p50 = ms($2) }
        $1 == "99%" { p99 = ms($2) }
        /Socket errors:/ { gsub(/,/, ""); failed += $4 + $6 + $8 + $10 }
        /Non-2xx or 3xx responses:/ { failed += $5 }
        END { printf "%s %.3f %.3f %d\n", rps, p50, p99, failed + 0 }'
}

# Alternating rounds, so that load from elsewhere on a shared machine falls on both servers alike.
rounds=${ROUNDS:-3}
wrk -t1 -c10 -d1s -H 'Connection: close' "http://127.0.0.1:$emu_port/" >/dev/null
wrk -t1 -c10 -d1s -H 'Connection: close' "http://127.0.0.1:$nginx_port/" >/dev/null
emu_all=() ngx_all=()
for round in $(seq "$rounds"); do
    emu_all+=("$(measure "http://127.0.0.1:$emu_port/")")
    ngx_all+=("$(measure "http://127.0.0.1:$nginx_port/")")
    echo "round $round: emulator ${emu_all[-1]}  nginx ${ngx_all[-1]}  (requests/s p50 p99 failed)" >&2
done
# Medians of each figure over the rounds; failures summed.
summary() {
    printf '%s\n' "$@" | awk '{ r[NR] = $1; a[NR] = $2; b[NR] = $3; f += $4 }
        function median(v, n,   i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
            return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        }
        END { printf "%s %s %s %d\n", median(r, NR), median(a, NR), median(b, NR), f }'
}
read -r emu_rps emu_p50 emu_p99 emu_failed < <(summary "${emu_all[@]}")
read -r ngx_rps ngx_p50 ngx_p99 ngx_failed < <(summary "${ngx_all[@]}")

echo "median of $rounds rounds of $duration, $connections connections, one request per connection"
printf '%-22s %12s %10s %10s %8s\n' "server" "requests/s" "p50 ms" "p99 ms" "failed"
printf '%-22s %12.0f %10.3f %10.3f %8d\n' "brindlecorpc serve" "$emu_rps" "$emu_p50" "$emu_p99" "$emu_failed"
printf '%-22s %12.0f %10.3f %10.3f %8d\n' "nginx (1 worker)" "$ngx_rps" "$ngx_p50" "$ngx_p99" "$ngx_failed"
awk -v a="$emu_rps" -v b="$ngx_rps" -v c="$emu_p99" -v d="$ngx_p99" \
    'BEGIN { printf "ratio requests/s emulator/nginx: %.2f (target >= 1.0); p99 latency emulator/nginx: %.2f\n", a / b, c / d }'
[ "$emu_failed" -eq 0 ] || echo "the emulator failed $emu_failed requests" >&2
