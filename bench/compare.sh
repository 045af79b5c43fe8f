#!/usr/bin/env bash
# Times varnelo-cli against other download tools on a generated site served
# by nginx on 127.0.0.1, and prints a table of medians with each tool's wall
# time as a ratio to ours. See the "Benchmarks" section of the README.
set -euo pipefail

usage() {
  cat <<'TEXT'
Usage: bench/compare.sh [options]
  --runs N            timed runs of every tool per job (median reported; default 3)
  --pages N           small job: pages (default 200)
  --pictures N        small job: picture mentions per page, 1/4 of them ".gif" (default 20)
  --size BYTES        small job: bytes per picture (default 32768)
  --large-pages N     large job: pages (default 50; 0 leaves the large job out)
  --large-pictures N  large job: pictures per page (default 4)
  --large-size BYTES  large job: bytes per picture (default 4194304)
  --tools LIST        comma-separated subset of varnelo,aria2c,wget,script,wrk
  --cli PATH          time this varnelo-cli instead of building one (Release)
  --results FILE      also keep every single measurement as tab-separated values
  --keep              keep the work directory (site, configuration, logs)
Environment: BENCH_DIR, where the work directory goes (default /dev/shm, so
that the disk is not what is measured).
TEXT
}

runs=3 pages=200 pictures=20 size=32768
large_pages=50 large_pictures=4 large_size=$((4 * 1024 * 1024))
tools=varnelo,aria2c,wget,script,wrk
cli="" results_copy="" keep=0
while (($#)); do
  case "$1" in
    --runs) runs=$2; shift ;;
    --pages) pages=$2; shift ;;
    --pictures) pictures=$2; shift ;;
    --size) size=$2; shift ;;
    --large-pages) large_pages=$2; shift ;;
    --large-pictures) large_pictures=$2; shift ;;
    --large-size) large_size=$2; shift ;;
    --tools) tools=$2; shift ;;
    --cli) cli=$2; shift ;;
    --results) results_copy=$2; shift ;;
    --keep) keep=1 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "compare.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
  esac
  shift
done

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
has_tool() { [[ ",$tools," == *",$1,"* ]]; }

# --- what the benchmark needs --------------------------------------------
missing=()
command -v nginx >/dev/null || [[ -x /usr/sbin/nginx ]] || missing+=(nginx-light)
has_tool aria2c && ! command -v aria2c >/dev/null && missing+=(aria2)
has_tool wrk && ! command -v wrk >/dev/null && missing+=(wrk)
has_tool wget && ! command -v wget >/dev/null && missing+=(wget)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]})); then
  echo "compare.sh: installing ${missing[*]}" >&2
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
python=$(python3 -c 'import sys; print(sys.executable)')

if [[ -z "$cli" ]] && has_tool varnelo; then
  echo "compare.sh: building varnelo-cli (Release) in build-bench" >&2
  cmake -S "$repo" -B "$repo/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNELO_GUI=OFF \
    -DVARNELO_TESTS=OFF -DVARNELO_BENCH=OFF >/dev/null
  cmake --build "$repo/build-bench" --target varnelo-cli -j "$(nproc)" >/dev/null
  cli="$repo/build-bench/src/cli/varnelo-cli"
fi
[[ -z "$cli" ]] || cli=$(realpath "$cli")

# --- a private nginx on a free port ---------------------------------------
work=$(mktemp -d "${BENCH_DIR:-/dev/shm}/varnelo-bench.XXXXXX")
chmod 755 "$work"  # nginx's workers may run as another user
nginx_pid=""
cleanup() {
  if [[ -n "$nginx_pid" ]]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  if ((keep)); then echo "compare.sh: work directory kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$port"
mkdir -p "$work/site" "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  keepalive_timeout 60s;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { text/html html; image/jpeg jpg; image/gif gif; text/plain txt; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $work/site;
  }
}
CONF

echo "compare.sh: generating the site in $work" >&2
"$python" "$here/make_site.py" --root "$work/site" --name small --base "$base" \
  --pages "$pages" --pictures "$pictures" --gifs $((pictures / 4)) --size "$size"
if ((large_pages > 0)); then
  "$python" "$here/make_site.py" --root "$work/site" --name large --base "$base" \
    --pages "$large_pages" --pictures "$large_pictures" --gifs $((large_pictures / 4)) \
    --size "$large_size" --distinct 8
fi
chmod -R a+rX "$work/site"

"$nginx_bin" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" \
  -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 100); do
  curl_ok=$("$python" -c "import urllib.request,sys
try: urllib.request.urlopen('$base/small/pages.txt', timeout=1); print(1)
except Exception: print(0)")
  [[ "$curl_ok" == 1 ]] && break
  sleep 0.1
done
[[ "$curl_ok" == 1 ]] || { echo "compare.sh: nginx did not start:" >&2; cat "$work/nginx/error.log" >&2; exit 1; }

# --- the measurements -------------------------------------------------------
results="$work/results.tsv"
printf 'job\ttool\trun\twall\tuser\tsys\tmaxrss_kib\tpictures\texpected\n' >"$results"

# Runs one tool on one job in a fresh output directory under GNU time and
# records wall time, CPU time, peak memory and the pictures it left.
measure() {
  local job=$1 tool=$2 run=$3 expected=$4
  local list_pages="$work/site/$job/pages.txt" list_pictures="$work/site/$job/pictures.txt"
  local out="$work/out" timing="$work/time.txt" log="$work/log-$job-$tool-$run.txt"
  rm -rf "$out" && mkdir -p "$out"
  local -a command
  case "$tool" in
    varnelo) command=("$cli" "$list_pages") ;;
    aria2c) command=(aria2c -q -j20 -i "$list_pictures" -d "$out" --allow-overwrite=true
                     --auto-file-renaming=false) ;;
    wget) command=(wget -q -i "$list_pictures" -P "$out") ;;
    script) command=("$python" "$here/page_fetcher.py" "$list_pages" "$out") ;;
  esac
  if ! (cd "$out" && /usr/bin/time -f '%e %U %S %M' -o "$timing" "${command[@]}" >"$log" 2>&1); then
    echo "compare.sh: $tool failed on the $job job (see $log)" >&2
  fi
  local wall user sys rss
  read -r wall user sys rss < <(tail -n 1 "$timing")
  local got
  got=$(find "$out" -type f \( -name '*.jpg' -o -name '*.gif' \) | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$job" "$tool" "$run" "$wall" "$user" "$sys" \
    "$rss" "$got" "$expected" >>"$results"
  rm -rf "$out"
}

jobs=(small)
((large_pages > 0)) && jobs+=(large)
for job in "${jobs[@]}"; do
  expected=$(wc -l <"$work/site/$job/pictures.txt")
  for run in $(seq "$runs"); do
    for tool in varnelo aria2c wget script; do
      has_tool "$tool" || continue
      echo "compare.sh: $job job, run $run of $runs: $tool" >&2
      measure "$job" "$tool" "$run" "$expected"
    done
  done
  if has_tool wrk; then
    # The server's ceiling: one picture over and over on twenty connections.
    first_picture=$(head -n 1 "$work/site/$job/pictures.txt")
    duration=5
    [[ "$job" == large ]] && duration=8
    echo "compare.sh: $job job: wrk -c20 on one picture for ${duration}s" >&2
    rps=$(wrk -t2 -c20 -d"${duration}s" "$first_picture" | awk '/^Requests\/sec:/ {print $2}')
    printf '%s\twrk\t1\t%s\t\t\t\t\t%s\n' "$job" "${rps:-0}" "$expected" >>"$results"
  fi
done

summary_args=(--pages "$pages" --pictures "$pictures" --size "$size" --runs "$runs")
((large_pages > 0)) && summary_args+=(--large-pages "$large_pages" --large-pictures "$large_pictures" --large-size "$large_size")
"$python" "$here/report.py" "$results" "${summary_args[@]}"
[[ -z "$results_copy" ]] || cp "$results" "$results_copy"
