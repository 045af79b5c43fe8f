#!/usr/bin/env bash
# Makes docs/window.png: runs the window on a virtual X display under a small
# window manager, against a local site of slow picture pages, types page
# addresses into the box, presses "开始下载" and photographs the window while
# the twenty slots are busy.
#
#   scripts/screenshot.sh [OUTPUT.png]     (default docs/window.png)
#   BUILD_DIR=build-gui scripts/screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
output=$(realpath -m "${1:-docs/window.png}")
build_dir=${BUILD_DIR:-build}

scripts/install-packages.sh scripts/packages.txt <(printf '%s\n' xvfb xdotool x11-apps x11-utils netpbm openbox python3)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target varnelo

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The site: 24 pages in code page 936, each naming twelve pictures that the
# server hands out slowly, so the bars climb at different speeds.
cat >"$work/site.py" <<'PY'
import http.server, random, socketserver, sys, time

class Site(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        base = "http://127.0.0.1:%d" % self.server.server_address[1]
        if self.path.startswith("/page/"):
            n = int(self.path.rsplit("/", 1)[1])
            pictures = "".join('<img src="%s/pic/%d/%d.jpg">\n' % (base, n, i) for i in range(1, 13))
            body = ('<html><head><meta charset="gbk"><title>风景图集 第%02d页</title></head>'
                    '<body>%s</body></html>' % (n, pictures)).encode("gbk")
            kind = "text/html; charset=gbk"
        elif self.path.startswith("/pic/"):
            time.sleep(random.uniform(0.3, 1.2))
            body, kind = bytes(range(256)) * 8, "image/jpeg"
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass

class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

server = Server(("127.0.0.1", 0), Site)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
PY
python3 "$work/site.py" "$work/port" & pids+=($!)

display_number=97
while [[ -e /tmp/.X${display_number}-lock ]]; do display_number=$((display_number + 1)); done
export DISPLAY=:$display_number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$display_number && -s "$work/port" ]] && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
sleep 0.5
port=$(cat "$work/port")

mkdir "$work/run"
(cd "$work/run" && exec "$repo/$build_dir/src/gui/varnelo") >/dev/null 2>&1 & pids+=($!)
window=$(xdotool search --sync --onlyvisible --name '^Varnelo' | head -n 1)
xdotool windowactivate --sync "$window" 2>/dev/null || true

# Type the addresses into the box (the caret is there at start), then press
# the start button at its place in the window.
xdotool mousemove --window "$window" 300 100 click 1
for n in $(seq 1 24); do
  xdotool type --delay 2 "http://127.0.0.1:$port/page/$n"
  xdotool key Return
done
xdotool mousemove --window "$window" 592 432 click 1
sleep 3.5
xdotool mousemove --window "$window" 700 600 2>/dev/null || true

# The window with the frame the window manager drew around it: the screen cut
# to the client area widened by the frame's extents.
geometry=$(xwininfo -id "$window")
X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geometry")
Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geometry")
WIDTH=$(awk '/^ *Width:/ {print $NF}' <<<"$geometry")
HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<<"$geometry")
extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ' ')
IFS=, read -r left right top bottom <<<"${extents:-0,0,0,0}"
mkdir -p "$(dirname "$output")"
xwd -silent -root | xwdtopnm 2>/dev/null |
  pnmcut -left $((X - left)) -top $((Y - top)) -width $((WIDTH + left + right)) \
    -height $((HEIGHT + top + bottom)) | pnmtopng >"$output"
echo "Saved $output"
