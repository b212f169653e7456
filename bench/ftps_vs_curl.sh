#!/usr/bin/env bash
# FTPS upload and download of one 1 GiB file over loopback: our Internet layer (ftps_transfer_driver:
# explicit TLS, passive mode, the FTP routines' 4096-byte blocks) against curl --ssl-reqd, against
# the same vsftpd, which the script starts on 127.0.0.1 with a test CA and certificate of its own
# (both clients trust that CA) and stops. The server insists on TLS for the login and the data,
# and on data connections that resume the control connection's TLS session. Reports per direction
# the throughput ratio (ours / curl; the goal is 1.0 or more), the CPU time ratio and both peak
# resident set sizes (the goal for ours: under 64 MB). ROUNDS (default 3) timed rounds; the
# median counts.
#
# Files live under $BENCH_SCRATCH (default BUILD_DIR/bench-scratch); a tmpfs such as /dev/shm
# keeps disk write-back out of the figures.
#
# usage: bench/ftps_vs_curl.sh BUILD_DIR
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
size_mb=${SIZE_MB:-$(full_or_smoke 1024 1)}
driver="$build_dir/bench/ftps_transfer_driver"
[ -x "$driver" ] || { echo "missing $driver: build the ftps_transfer_driver target first" >&2; exit 1; }
for tool in curl openssl /usr/sbin/vsftpd; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done

work="${BENCH_SCRATCH:-$build_dir/bench-scratch}/ftps_vs_curl"
rm -rf "$work"
mkdir -p "$work/root" "$work/local" "$work/empty"
chmod 755 "$work" "$work/root"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/local/payload.bin"
bytes=$(stat -c %s "$work/local/payload.bin")

# A test CA and a certificate for 127.0.0.1 issued by it.
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=bench CA" 2>/dev/null
openssl req "${ec[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj "/CN=bench server" 2>/dev/null
echo "subjectAltName=IP:127.0.0.1" >"$work/server.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
  -out "$work/server.pem" -days 2 -extfile "$work/server.ext" 2>/dev/null

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
run_as_launching_user=YES
seccomp_sandbox=NO
secure_chroot_dir=$work/empty
ftp_username=$(id -un)
anonymous_enable=YES
local_enable=NO
anon_root=$work/root
no_anon_password=YES
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_ciphers=HIGH
rsa_cert_file=$work/server.pem
rsa_private_key_file=$work/server.key
xferlog_enable=NO
CONF
# In a session of its own, so that stopping its group also stops the processes serving connections.
setsid /usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/server.err" 2>&1 &
server_pid=$!
trap 'kill -- -"$server_pid" 2>/dev/null || kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "vsftpd did not start" >&2; cat "$work/server.err" >&2; exit 1; }

curl_tls=(curl -sS --ssl-reqd --cacert "$work/ca.pem" --ftp-pasv)
# shellcheck source=transfer_compare.sh
. "$here/transfer_compare.sh"
up_ours() {
  run ours up env SSL_CERT_FILE="$work/ca.pem" "$driver" up 127.0.0.1 "$port" "$work/local/payload.bin" ours.bin
  cmp -s "$work/local/payload.bin" "$work/root/ours.bin" || { echo "our upload differs" >&2; exit 1; }
}
up_curl() {
  # curl now and then ends an upload's TLS session while the server's session tickets are still
  # unread, which turns its close into a reset, and vsftpd answers 426 to the file. That round is
  # curl's to run again (at most twice more); only a completed upload is measured.
  local try
  for try in 1 2 3; do
    if /usr/bin/python3 "$here/rusage.py" --stderr "$work/cmd.err" "${curl_tls[@]}" -T "$work/local/payload.bin" \
      "ftp://127.0.0.1:$port/curl.bin" >"$work/curl-try.txt"; then
      cat "$work/curl-try.txt" >>"$work/curl-up.txt"
      break
    fi
    grep -q "got 426" "$work/cmd.err" && ((try < 3)) && continue
    echo "failed: curl's upload" >&2; cat "$work/cmd.err" >&2; exit 1
  done
  cmp -s "$work/local/payload.bin" "$work/root/curl.bin" || { echo "curl's upload differs" >&2; exit 1; }
}
down_ours() {
  run ours down env SSL_CERT_FILE="$work/ca.pem" "$driver" down 127.0.0.1 "$port" "$work/local/ours.bin" curl.bin
  cmp -s "$work/local/payload.bin" "$work/local/ours.bin" || { echo "our download differs" >&2; exit 1; }
}
down_curl() {
  run curl down "${curl_tls[@]}" -o "$work/local/curl.bin" "ftp://127.0.0.1:$port/curl.bin"
  cmp -s "$work/local/payload.bin" "$work/local/curl.bin" || { echo "curl's download differs" >&2; exit 1; }
}
# Who goes first alternates, so that neither side always runs in the wake of the other's clean-up.
for round in $(seq "$rounds"); do
  if ((round % 2)); then up_ours; up_curl; else up_curl; up_ours; fi
  rm -f "$work/local/ours.bin" "$work/local/curl.bin"
  if ((round % 2)); then down_ours; down_curl; else down_curl; down_ours; fi
  rm -f "$work/root/ours.bin" "$work/root/curl.bin" "$work/local/ours.bin" "$work/local/curl.bin"
done

echo "FTPS (explicit, protected data) over loopback, $((bytes / 1048576)) MB, $rounds rounds (median); goals: tput x >= 1.0, ours RSS < 64 MB"
report_header
for dir in up down; do report_row "$dir" "$bytes"; done
