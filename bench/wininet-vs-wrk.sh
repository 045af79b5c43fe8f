#!/usr/bin/env bash
# Picture requests per second: twenty threads through fetchWithWinInet
# against wrk -t2 -c20, both fetching the same 32 KiB file from nginx on
# loopback in the same run. Usage: bench/wininet-vs-wrk.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"

missing=()
command -v nginx >/dev/null || missing+=(nginx-light)
command -v wrk >/dev/null || missing+=(wrk)
if ((${#missing[@]})); then
  sudo_cmd=""; [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
  $sudo_cmd apt-get install -y "${missing[@]}"
fi

cmake --build "$build" --target wininet_bench >/dev/null

dir="$(mktemp -d)"
chmod 755 "$dir"
nginx_pid=""
cleanup() {
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

mkdir -p "$dir/www" "$dir/tmp"
head -c 32768 /dev/urandom >"$dir/www/pic.jpg"
chmod -R a+rX "$dir/www"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_requests 1000000;
  client_body_temp_path $dir/tmp;
  proxy_temp_path $dir/tmp;
  fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp;
  scgi_temp_path $dir/tmp;
  server { listen 127.0.0.1:$port; root $dir/www; }
}
CONF
nginx -c "$dir/nginx.conf" -p "$dir" &
nginx_pid=$!
url="http://127.0.0.1:$port/pic.jpg"
for _ in $(seq 50); do
  curl -sf -o /dev/null "$url" && break
  sleep 0.1
done

wrk_rate=$(wrk -t2 -c20 -d5s "$url" | awk '/Requests\/sec/ {print $2}')
ours=$(VARNELO_BENCH_PICTURE_URL="$url" "$build/bench/wininet_bench" --benchmark_format=json)
our_rate=$(python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print("%.0f" % b["items_per_second"]); assert b.get("failed",0)==0, "failed requests"' <<<"$ours")

echo "wrk -t2 -c20:                 $wrk_rate requests/s"
echo "fetchWithWinInet, 20 threads: $our_rate requests/s"
python3 -c "print('ratio: %.2f of wrk' % ($our_rate / $wrk_rate))"
