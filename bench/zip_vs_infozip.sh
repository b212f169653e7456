#!/usr/bin/env bash
# Packing a project-like folder (2,000 source-like text files of 2-50 KB and ten 5 MB mostly
# incompressible binaries, about 100 MB, flat) into a ZIP: our shell object, driven exactly as the
# "Zip Project" command drives it (staging by hard link, CopyHere into a new archive beside the
# old one, wait, staged entries deleted, the new archive moved into place), against Info-ZIP's
# `zip -q` on the same folder, in one run. Reports the ratios of wall times and archive sizes;
# the goal is at most 0.30 of Info-ZIP's time at no more than 1.01 of its size.
#
# usage: bench/zip_vs_infozip.sh BUILD_DIR [ZANDREL_ZIP_COMMAND]
#   BUILD_DIR            a build folder holding bench/zip_folder_driver
#   ZANDREL_ZIP_COMMAND  optional: a shell command that packs the whole way through the real
#                        `zandrel zip` command; it is run with BENCH_SOURCE (the folder) and
#                        BENCH_ARCHIVE (the archive to write) in its environment and timed too.
# ROUNDS (default 3) sets how many timed rounds each contender gets; the median counts.
# Staging falls back to copying where hard links cannot be made; there, leave a minute between
# runs: after many deletions ext4 is slow to create files for about a minute.
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR [ZANDREL_ZIP_COMMAND]}" && pwd)
zandrel_command=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
driver="$build_dir/bench/zip_folder_driver"
[ -x "$driver" ] || { echo "missing $driver: build the zip_folder_driver target first" >&2; exit 1; }
command -v zip >/dev/null || { echo "Info-ZIP's zip is not installed" >&2; exit 1; }

# On the build disk, not /tmp (which may be tmpfs).
work="$build_dir/bench-scratch/zip_vs_infozip"
mkdir -p "$work"
source_dir=$(bench_project_folder "$work")

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
file_count=$(find "$source_dir" -maxdepth 1 -type f | wc -l)
source_bytes=$(find "$source_dir" -maxdepth 1 -type f -printf '%s\n' | awk '{s+=$1} END {print s}')

ours_times=() infozip_times=() zandrel_times=()
run_ours() {
  local start end
  start=$(now)
  "$driver" "$source_dir" "$work/Ours.zip" >"$work/driver.log"
  end=$(now)
  ours_times+=("$(echo "$end - $start" | bc)")
}
run_infozip() {
  local start end
  rm -f "$work/InfoZip.zip"
  start=$(now)
  (cd "$source_dir" && zip -q "$work/InfoZip.zip" -- *)
  end=$(now)
  infozip_times+=("$(echo "$end - $start" | bc)")
}
run_zandrel() {
  local start end
  rm -f "$work/Zandrel.zip"
  start=$(now)
  BENCH_SOURCE="$source_dir" BENCH_ARCHIVE="$work/Zandrel.zip" bash -c "$zandrel_command" >/dev/null
  end=$(now)
  zandrel_times+=("$(echo "$end - $start" | bc)")
}

# One untimed round of each warms the page cache for all alike.
run_ours; run_infozip
ours_times=() infozip_times=()
for ((i = 0; i < rounds; i++)); do
  run_ours
  run_infozip
  # --- the real `zandrel zip` command, when given ---
  if [ -n "$zandrel_command" ]; then run_zandrel; fi
done

unzip -tq "$work/Ours.zip" >/dev/null || { echo "our archive does not test clean" >&2; exit 1; }
entries=$(unzip -Z1 "$work/Ours.zip" | wc -l)
[ "$entries" -eq "$file_count" ] || { echo "our archive holds $entries entries, the folder $file_count files" >&2; exit 1; }

ours_time=$(printf '%s\n' "${ours_times[@]}" | median)
infozip_time=$(printf '%s\n' "${infozip_times[@]}" | median)
ours_size=$(stat -c %s "$work/Ours.zip")
infozip_size=$(stat -c %s "$work/InfoZip.zip")
time_ratio=$(echo "scale=3; $ours_time / $infozip_time" | bc)
size_ratio=$(echo "scale=4; $ours_size / $infozip_size" | bc)

printf 'folder:     %d files, %d bytes\n' "$file_count" "$source_bytes"
printf 'ours:       %.3f s (median of %d; last run: %s), %d bytes\n' "$ours_time" "$rounds" "$(cat "$work/driver.log")" "$ours_size"
printf 'Info-ZIP:   %.3f s (median of %d), %d bytes\n' "$infozip_time" "$rounds" "$infozip_size"
if [ -n "$zandrel_command" ]; then
  zandrel_time=$(printf '%s\n' "${zandrel_times[@]}" | median)
  printf 'zandrel zip: %.3f s (median of %d), %d bytes, time ratio %s\n' "$zandrel_time" "$rounds" \
    "$(stat -c %s "$work/Zandrel.zip")" "$(echo "scale=3; $zandrel_time / $infozip_time" | bc)"
fi
printf 'time ratio: %s (goal <= 0.30)\nsize ratio: %s (goal <= 1.01)\n' "$time_ratio" "$size_ratio"

rm -rf "$work/Ours.zip" "$work/InfoZip.zip" "$work/Zandrel.zip" "$work/driver.log"
if [ "$bench_smoke" = 1 ]; then
  echo "smoke mode: the goal is not judged"
elif [ "$(echo "$time_ratio <= 0.30 && $size_ratio <= 1.01" | bc)" -eq 1 ]; then
  echo "goal met"
else
  echo "goal NOT met"
fi
