#!/usr/bin/env bash
# HTTP download and upload over loopback: the webcopy tool (one wpHttp item, one wpHttpUpload
# item with PUT, no window) against curl, both talking to the same nginx (nginx-light: sendfile
# for downloads, the DAV module's PUT for uploads), which the script starts on 127.0.0.1 with a
# configuration of its own and stops. Reports per direction the throughput ratio (ours / curl;
# above 1 is faster), the CPU time ratio (user + system, ours / curl; below 1 is cheaper) and both
# peak resident set sizes. ROUNDS (default 3) timed rounds; the median counts. DOWN_MB (default
# 1024) and UP_MB (default 200) size the two files.
#
# Files live under $BENCH_SCRATCH (default BUILD_DIR/bench-scratch); a tmpfs such as /dev/shm
# keeps disk write-back, which hits whichever run happens to trigger it, out of the figures.
#
# usage: bench/http_vs_curl.sh BUILD_DIR
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
down_mb=${DOWN_MB:-$(full_or_smoke 1024 1)}
up_mb=${UP_MB:-$(full_or_smoke 200 1)}
tool="$build_dir/tools/webcopy"
[ -x "$tool" ] || { echo "missing $tool: build the webcopy target first" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx is not installed (nginx-light, see scripts/install-deps.sh)" >&2; exit 1; }

work="${BENCH_SCRATCH:-$build_dir/bench-scratch}/http_vs_curl"
rm -rf "$work"
mkdir -p "$work/root/up" "$work/local" "$work/tmp"
head -c "$((down_mb * 1024 * 1024))" /dev/urandom >"$work/root/down.bin"
head -c "$((up_mb * 1024 * 1024))" /dev/urandom >"$work/local/up.bin"
down_bytes=$(stat -c %s "$work/root/down.bin")
up_bytes=$(stat -c %s "$work/local/up.bin")

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user_line=""
[ "$(id -u)" -ne 0 ] || user_line="user root root;"
cat >"$work/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/root;
    location /up/ {
      dav_methods PUT;
      client_max_body_size 0;
      client_body_buffer_size 1m;
    }
  }
}
CONF
"$nginx" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' 2>"$work/nginx.err" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
curl -s -o /dev/null "http://127.0.0.1:$port/" || { echo "nginx did not start" >&2; cat "$work/nginx.err" >&2; exit 1; }

job() { # protocol url targetdir targetname
  cat >"$work/job.json" <<JOB
{"ShowDialog": false, "Items": [{"Protocol": "$1", "URL": "$2", "TargetDir": "$3", "TargetFilename": "$4",
 "HTTPCommand": "hcPut"}]}
JOB
}
# shellcheck source=transfer_compare.sh
. "$here/transfer_compare.sh"
up_ours() {
  job wpHttpUpload "http://127.0.0.1:$port/up/ours.bin" "$work/local" "up.bin"
  run ours up "$tool" --ui=terminal "$work/job.json"
  cmp -s "$work/local/up.bin" "$work/root/up/ours.bin" || { echo "our upload differs" >&2; exit 1; }
}
up_curl() {
  run curl up curl -sS -f -T "$work/local/up.bin" "http://127.0.0.1:$port/up/curl.bin"
  cmp -s "$work/local/up.bin" "$work/root/up/curl.bin" || { echo "curl's upload differs" >&2; exit 1; }
}
down_ours() {
  job wpHttp "http://127.0.0.1:$port/down.bin" "$work/local" "ours.bin"
  run ours down "$tool" --ui=terminal "$work/job.json"
  cmp -s "$work/root/down.bin" "$work/local/ours.bin" || { echo "our download differs" >&2; exit 1; }
}
down_curl() {
  run curl down curl -sS -f -o "$work/local/curl.bin" "http://127.0.0.1:$port/down.bin"
  cmp -s "$work/root/down.bin" "$work/local/curl.bin" || { echo "curl's download differs" >&2; exit 1; }
}
# Who goes first alternates, so that neither side always runs in the wake of the other's clean-up.
for round in $(seq "$rounds"); do
  if ((round % 2)); then up_ours; up_curl; else up_curl; up_ours; fi
  rm -f "$work/root/up/ours.bin" "$work/root/up/curl.bin"
  if ((round % 2)); then down_ours; down_curl; else down_curl; down_ours; fi
  rm -f "$work/local/ours.bin" "$work/local/curl.bin"
done

echo "HTTP over loopback with nginx: download $((down_bytes / 1048576)) MB, upload (PUT) $((up_bytes / 1048576)) MB, $rounds rounds (median)"
report_header
report_row up "$up_bytes"
report_row down "$down_bytes"
