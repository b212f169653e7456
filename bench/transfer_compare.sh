# Shared by the transfer benchmarks (sourced, not run): timing one command, the median of the
# rounds, and the table of ours against curl. Expects $here (the bench folder) and $work (the
# scratch folder) to be set.

# Runs a command; prints "wall cpu maxrss_kb".
measure() {
  /usr/bin/python3 "$here/rusage.py" --stderr "$work/cmd.err" "$@" ||
    { echo "failed: $*" >&2; cat "$work/cmd.err" >&2; exit 1; }
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
run() { # name direction command...
  local name=$1 dir=$2; shift 2
  measure "$@" >>"$work/$name-$dir.txt"
}
report_header() {
  printf '%-9s %10s %10s %10s %10s %10s %10s %9s %9s\n' direction "ours MB/s" "curl MB/s" "tput x" \
    "ours cpu" "curl cpu" "cpu x" "ours RSS" "curl RSS"
}
report_row() { # direction (up|down) bytes
  local dir=$1 bytes=$2 ow cw oc cc om cm
  ow=$(awk '{print $1}' "$work/ours-$dir.txt" | median); cw=$(awk '{print $1}' "$work/curl-$dir.txt" | median)
  oc=$(awk '{print $2}' "$work/ours-$dir.txt" | median); cc=$(awk '{print $2}' "$work/curl-$dir.txt" | median)
  om=$(awk '{print $3}' "$work/ours-$dir.txt" | median); cm=$(awk '{print $3}' "$work/curl-$dir.txt" | median)
  awk -v b="$bytes" -v ow="$ow" -v cw="$cw" -v oc="$oc" -v cc="$cc" -v om="$om" -v cm="$cm" -v d="$dir" 'BEGIN {
    ot = b / 1048576 / (ow > 0 ? ow : 0.001); ct = b / 1048576 / (cw > 0 ? cw : 0.001)
    printf "%-9s %10.1f %10.1f %10.2f %9.3fs %9.3fs %10.2f %7.1fMB %7.1fMB\n", (d == "up" ? "upload" : "download"),
      ot, ct, ot / ct, oc, cc, (cc > 0 ? oc / cc : 0), om / 1024, cm / 1024 }'
}
