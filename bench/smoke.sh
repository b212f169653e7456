#!/usr/bin/env bash
# Runs every benchmark once in its smoke mode (BENCH_SMOKE=1: one short round on tiny inputs), to
# see that each still runs from end to end. The figures they print are not judged; a benchmark
# fails only when it breaks (a transfer or an archive that is wrong, a server that does not start,
# a run that does not end as it should) or takes longer than SMOKE_TIMEOUT seconds (default 60).
# Ends with status 1 when any failed.
#
# usage: bench/smoke.sh BUILD_DIR
# Needs BUILD_DIR built with the benchmarks (the zandrel, webcopy, zip_folder_driver, sftp_driver,
# ftps_transfer_driver and formatting_bench targets) and the packages of scripts/install-deps.sh.
set -uo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
limit=${SMOKE_TIMEOUT:-60}
export BENCH_SMOKE=1
export BENCH_SCRATCH="$build_dir/bench-scratch/smoke"
unset ROUNDS SIZE_MB DOWN_MB UP_MB LOCAL_MB SHARE_MB
mkdir -p "$BENCH_SCRATCH"

benchmarks=(
  "zip_vs_infozip|bash $here/zip_vs_infozip.sh $build_dir 'bash $here/zandrel_zip_command.sh $build_dir'"
  "ftp_vs_curl|bash $here/ftp_vs_curl.sh $build_dir"
  "ftps_vs_curl|bash $here/ftps_vs_curl.sh $build_dir"
  "http_vs_curl|bash $here/http_vs_curl.sh $build_dir"
  "filecopy_vs_cp|bash $here/filecopy_vs_cp.sh $build_dir"
  "sftp_vs_openssh|bash $here/sftp_vs_openssh.sh $build_dir"
  "upload_vs_zip_curl|bash $here/upload_vs_zip_curl.sh $build_dir"
  "email_vs_sendmail|bash $here/email_vs_sendmail.sh $build_dir"
  "cancel_latency|/usr/bin/python3 $here/cancel_latency.py $build_dir"
  "formatting_bench|$build_dir/bench/formatting_bench --benchmark_min_time=0.001"
)

failed=()
start_all=$(date +%s.%N)
for entry in "${benchmarks[@]}"; do
  name=${entry%%|*}
  command=${entry#*|}
  log="$BENCH_SCRATCH/$name.log"
  start=$(date +%s.%N)
  # timeout signals its whole process group, so the servers a benchmark started end with it.
  timeout --kill-after=10 "$limit" bash -c "$command" >"$log" 2>&1 </dev/null
  status=$?
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  if [ "$status" -eq 0 ]; then
    printf 'ok      %-20s %6.1f s\n' "$name" "$seconds"
  else
    [ "$status" -eq 124 ] && why="timed out after $limit s" || why="exit status $status"
    printf 'FAILED  %-20s %6.1f s  (%s); its output:\n' "$name" "$seconds" "$why"
    sed 's/^/    /' "$log"
    failed+=("$name")
  fi
done
printf 'benchmarks smoke run: %.1f s in all, figures not judged\n' "$(echo "$(date +%s.%N) - $start_all" | bc)"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
