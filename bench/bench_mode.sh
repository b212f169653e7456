# Sourced by the benchmark scripts (not run). BENCH_SMOKE=1 is the smoke mode: one short round on
# tiny inputs, to see that a benchmark still runs from end to end; its figures mean nothing and no
# goal is judged. bench/smoke.sh runs every benchmark that way. Expects $here (the bench folder).
bench_smoke=${BENCH_SMOKE:-0}

# Prints FULL, or SMOKE in the smoke mode: `rounds=${ROUNDS:-$(full_or_smoke 3 1)}`.
full_or_smoke() {
  if [ "$bench_smoke" = 1 ]; then echo "$2"; else echo "$1"; fi
}

# Makes the project-like folder under WORK once (a small one in the smoke mode, kept apart from the
# full one) and prints its path.
bench_project_folder() {
  local work=$1 name=project size=()
  if [ "$bench_smoke" = 1 ]; then name=project-smoke; size=(--small); fi
  if [ ! -f "$work/$name.complete" ]; then
    rm -rf "${work:?}/$name"
    echo "generating the project folder..." >&2
    python3 "$here/make_project_folder.py" "${size[@]}" "$work/$name"
    touch "$work/$name.complete"
  fi
  echo "$work/$name"
}
