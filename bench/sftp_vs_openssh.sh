#!/usr/bin/env bash
# SFTP upload and download of one 1 GiB file over loopback: the platform's SSH layer (through
# bench/sftp_driver) against OpenSSH's `sftp -b`, both with the same cipher, against the same
# sshd, which the script starts on 127.0.0.1 with a configuration, host key and client key of its
# own, and stops. Reports per direction the throughput ratio (ours / sftp; above 1 is faster), the
# CPU time ratio (user + system, ours / sftp; below 1 is cheaper) and both peak resident set
# sizes. ROUNDS (default 3) timed rounds; the median counts. CIPHER picks the cipher (default
# aes128-gcm@openssh.com); SIZE_MB the file's size (default 1024).
#
# sshd needs its privilege separation folder /run/sshd (made here when it is missing and we may).
# Files live under $BENCH_SCRATCH (default BUILD_DIR/bench-scratch); a tmpfs such as /dev/shm
# keeps disk write-back out of the figures.
#
# usage: bench/sftp_vs_openssh.sh BUILD_DIR
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
size_mb=${SIZE_MB:-$(full_or_smoke 1024 1)}
cipher=${CIPHER:-aes128-gcm@openssh.com}
driver="$build_dir/bench/sftp_driver"
[ -x "$driver" ] || { echo "missing $driver: build the sftp_driver target first" >&2; exit 1; }
for tool in /usr/sbin/sshd sftp ssh-keygen; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (openssh-server, openssh-client)" >&2; exit 1; }
done
[ -d /run/sshd ] || mkdir -p /run/sshd 2>/dev/null || { echo "sshd needs /run/sshd, which cannot be made" >&2; exit 1; }

work="${BENCH_SCRATCH:-$build_dir/bench-scratch}/sftp_vs_openssh"
rm -rf "$work"
mkdir -p "$work/remote" "$work/local"
chmod 755 "$work"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/local/payload.bin"
bytes=$(stat -c %s "$work/local/payload.bin")

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/known_hosts"
user=$(id -un)
cat >"$work/sshd_config" <<CONF
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
Subsystem sftp internal-sftp
UsePAM no
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin $([ "$(id -u)" -eq 0 ] && echo prohibit-password || echo no)
CONF
/usr/sbin/sshd -D -e -f "$work/sshd_config" -p "$port" 2>"$work/sshd.log" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

measure() {
  /usr/bin/python3 "$here/rusage.py" --stderr "$work/cmd.err" "$@" ||
    { echo "failed: $*" >&2; cat "$work/cmd.err" >&2; exit 1; }
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
run() { # name direction command...
  local name=$1 dir=$2; shift 2
  measure "$@" >>"$work/$name-$dir.txt"
}
echo "put $work/local/payload.bin $work/remote/sftp.bin" >"$work/put.batch"
echo "get $work/remote/sftp.bin $work/local/sftp.bin" >"$work/get.batch"

up_ours() {
  run ours up "$driver" up "$work/local/payload.bin" "$work/remote/ours.bin" --port "$port" --user "$user" \
    --key "$work/client_key" --known-hosts "$work/known_hosts" --cipher "$cipher"
  cmp -s "$work/local/payload.bin" "$work/remote/ours.bin" || { echo "our upload differs" >&2; exit 1; }
}
up_sftp() {
  run sftp up sftp -q -b "$work/put.batch" -P "$port" -i "$work/client_key" -c "$cipher" -o IdentitiesOnly=yes \
    -o BatchMode=yes -o UserKnownHostsFile="$work/known_hosts" -o GlobalKnownHostsFile=/dev/null \
    -o StrictHostKeyChecking=yes "$user@127.0.0.1"
  cmp -s "$work/local/payload.bin" "$work/remote/sftp.bin" || { echo "sftp's upload differs" >&2; exit 1; }
}
down_ours() {
  run ours down "$driver" down "$work/local/ours.bin" "$work/remote/sftp.bin" --port "$port" --user "$user" \
    --key "$work/client_key" --known-hosts "$work/known_hosts" --cipher "$cipher"
  cmp -s "$work/local/payload.bin" "$work/local/ours.bin" || { echo "our download differs" >&2; exit 1; }
}
down_sftp() {
  run sftp down sftp -q -b "$work/get.batch" -P "$port" -i "$work/client_key" -c "$cipher" -o IdentitiesOnly=yes \
    -o BatchMode=yes -o UserKnownHostsFile="$work/known_hosts" -o GlobalKnownHostsFile=/dev/null \
    -o StrictHostKeyChecking=yes "$user@127.0.0.1"
  cmp -s "$work/local/payload.bin" "$work/local/sftp.bin" || { echo "sftp's download differs" >&2; exit 1; }
}
# Who goes first alternates, so that neither side always runs in the wake of the other's clean-up.
for round in $(seq "$rounds"); do
  if ((round % 2)); then up_ours; up_sftp; else up_sftp; up_ours; fi
  rm -f "$work/local/ours.bin" "$work/local/sftp.bin"
  if ((round % 2)); then down_ours; down_sftp; else down_sftp; down_ours; fi
  rm -f "$work/remote/ours.bin" "$work/local/ours.bin" "$work/local/sftp.bin"
done

echo "SFTP over loopback, $((bytes / 1048576)) MB, cipher $cipher, $rounds rounds (median)"
printf '%-9s %10s %10s %10s %10s %10s %10s %9s %9s\n' direction "ours MB/s" "sftp MB/s" "tput x" \
  "ours cpu" "sftp cpu" "cpu x" "ours RSS" "sftp RSS"
for dir in up down; do
  ow=$(awk '{print $1}' "$work/ours-$dir.txt" | median); sw=$(awk '{print $1}' "$work/sftp-$dir.txt" | median)
  oc=$(awk '{print $2}' "$work/ours-$dir.txt" | median); sc=$(awk '{print $2}' "$work/sftp-$dir.txt" | median)
  om=$(awk '{print $3}' "$work/ours-$dir.txt" | median); sm=$(awk '{print $3}' "$work/sftp-$dir.txt" | median)
  awk -v b="$bytes" -v ow="$ow" -v sw="$sw" -v oc="$oc" -v sc="$sc" -v om="$om" -v sm="$sm" -v d="$dir" 'BEGIN {
    ot = b / 1048576 / (ow > 0 ? ow : 0.001); st = b / 1048576 / (sw > 0 ? sw : 0.001)
    printf "%-9s %10.1f %10.1f %10.2f %9.3fs %9.3fs %10.2f %7.1fMB %7.1fMB\n", (d == "up" ? "upload" : "download"),
      ot, st, ot / st, oc, sc, (sc > 0 ? oc / sc : 0), om / 1024, sm / 1024 }'
done
