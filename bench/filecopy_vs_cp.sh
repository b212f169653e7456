#!/usr/bin/env bash
# File items of the webcopy tool (no window) against the usual tools for the same copy:
#   local: a LOCAL_MB (default 1024) file copied to another folder, against cp;
#   share: a SHARE_MB (default 200) file copied from a share of a local smbd, against smbclient's
#          "get". smbd runs as root on 127.0.0.1 on a spare port with a configuration of its own,
#          started and stopped by this script (the share part is skipped when not root).
# Reports per case the throughput ratio (ours / peer; above 1 is faster), the CPU time ratio and
# both peak resident set sizes. ROUNDS (default 3) timed rounds; the median counts. Files live
# under $BENCH_SCRATCH (default BUILD_DIR/bench-scratch).
#
# usage: bench/filecopy_vs_cp.sh BUILD_DIR
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
local_mb=${LOCAL_MB:-$(full_or_smoke 1024 1)}
share_mb=${SHARE_MB:-$(full_or_smoke 200 1)}
tool="$build_dir/tools/webcopy"
[ -x "$tool" ] || { echo "missing $tool: build the webcopy target first" >&2; exit 1; }

work="${BENCH_SCRATCH:-$build_dir/bench-scratch}/filecopy_vs_cp"
rm -rf "$work"
mkdir -p "$work/src" "$work/out" "$work/smb/share"
server_pid=""
cleanup() {
  [ -z "$server_pid" ] || { kill -- "-$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=transfer_compare.sh
. "$here/transfer_compare.sh"
job() { # url targetname [host user password]
  cat >"$work/job.json" <<JOB
{"ShowDialog": false, "Items": [{"Protocol": "wpFile", "URL": "$1", "TargetDir": "$work/out",
 "TargetFilename": "$2", "FTPHost": "${3:-}", "FTPUserID": "${4:-}", "FTPPassword": "${5:-}"}]}
JOB
}
row() { # case bytes peer-name
  local c=$1 bytes=$2 ow pw oc pc om pm
  ow=$(awk '{print $1}' "$work/ours-$c.txt" | median); pw=$(awk '{print $1}' "$work/peer-$c.txt" | median)
  oc=$(awk '{print $2}' "$work/ours-$c.txt" | median); pc=$(awk '{print $2}' "$work/peer-$c.txt" | median)
  om=$(awk '{print $3}' "$work/ours-$c.txt" | median); pm=$(awk '{print $3}' "$work/peer-$c.txt" | median)
  awk -v b="$bytes" -v ow="$ow" -v pw="$pw" -v oc="$oc" -v pc="$pc" -v om="$om" -v pm="$pm" -v c="$c" -v p="$3" 'BEGIN {
    ot = b / 1048576 / (ow > 0 ? ow : 0.001); pt = b / 1048576 / (pw > 0 ? pw : 0.001)
    printf "%-6s %-10s %10.1f %10.1f %8.2f %9.3fs %9.3fs %7.2f %7.1fMB %7.1fMB\n", c, p, ot, pt, ot / pt, oc, pc,
      (pc > 0 ? oc / pc : 0), om / 1024, pm / 1024 }'
}

head -c "$((local_mb * 1024 * 1024))" /dev/urandom >"$work/src/local.bin"
for round in $(seq "$rounds"); do
  job "$work/src/local.bin" ours.bin
  ours() { run ours local "$tool" --ui=terminal "$work/job.json"; }
  peer() { run peer local cp "$work/src/local.bin" "$work/out/cp.bin"; }
  if ((round % 2)); then ours; peer; else peer; ours; fi
  cmp -s "$work/src/local.bin" "$work/out/ours.bin" || { echo "our copy differs" >&2; exit 1; }
  rm -f "$work/out/ours.bin" "$work/out/cp.bin"
done
rm -f "$work/src/local.bin"

share=no
if [ "$(id -u)" -eq 0 ] && [ -x /usr/sbin/smbd ] && command -v smbclient >/dev/null; then
  share=yes
  s="$work/smb"
  mkdir -p "$s/run" "$s/lock" "$s/state" "$s/cache" "$s/private" "$s/ncalrpc"
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$s/smb.conf" <<CONF
[global]
  server role = standalone server
  smb ports = $port
  interfaces = lo
  bind interfaces only = yes
  disable netbios = yes
  pid directory = $s/run
  lock directory = $s/lock
  state directory = $s/state
  cache directory = $s/cache
  private dir = $s/private
  ncalrpc dir = $s/ncalrpc
  passdb backend = tdbsam:$s/private/passdb.tdb
  log file = $s/smbd.log
  map to guest = Never
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
[bench]
  path = $s/share
  read only = yes
CONF
  printf 'benchpw\nbenchpw\n' | smbpasswd -c "$s/smb.conf" -a -s root >/dev/null
  setsid /usr/sbin/smbd -F --no-process-group -s "$s/smb.conf" &
  server_pid=$!
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
  head -c "$((share_mb * 1024 * 1024))" /dev/urandom >"$s/share/share.bin"
  for round in $(seq "$rounds"); do
    job share.bin ours.bin "smb://127.0.0.1:$port/bench" root benchpw
    ours() { run ours share "$tool" --ui=terminal "$work/job.json"; }
    peer() {
      run peer share smbclient -p "$port" -U root%benchpw "//127.0.0.1/bench" \
        -c "get share.bin $work/out/smbclient.bin"
    }
    if ((round % 2)); then ours; peer; else peer; ours; fi
    cmp -s "$s/share/share.bin" "$work/out/ours.bin" || { echo "our share copy differs" >&2; exit 1; }
    rm -f "$work/out/ours.bin" "$work/out/smbclient.bin"
  done
fi

echo "File copies: local $local_mb MB against cp, share $share_mb MB from a local smbd against smbclient, $rounds rounds (median)"
printf '%-6s %-10s %10s %10s %8s %10s %10s %7s %9s %9s\n' case peer "ours MB/s" "peer MB/s" "tput x" \
  "ours cpu" "peer cpu" "cpu x" "ours RSS" "peer RSS"
row local "$((local_mb * 1048576))" cp
[ "$share" = no ] || row share "$((share_mb * 1048576))" smbclient
[ "$share" = yes ] || echo "share: skipped (needs root, smbd and smbclient)"
