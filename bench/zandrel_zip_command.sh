#!/usr/bin/env bash
# The real "Zip Project" through the `zandrel` host, for zip_vs_infozip.sh:
#   bench/zip_vs_infozip.sh BUILD_DIR "bench/zandrel_zip_command.sh BUILD_DIR"
# Packs BENCH_SOURCE with the pattern *.* and leaves the archive at BENCH_ARCHIVE.
set -euo pipefail
build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
: "${BENCH_SOURCE:?}" "${BENCH_ARCHIVE:?}"
export XDG_CONFIG_HOME="$build_dir/bench-scratch/zandrel-config"
mkdir -p "$XDG_CONFIG_HOME/zandrel"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"ZIPFilter"="*.*"\n\n' \
  > "$XDG_CONFIG_HOME/zandrel/user.reg"
chmod 600 "$XDG_CONFIG_HOME/zandrel/user.reg"
# The project file exists only while the command runs, so the folder is the same for every contender.
touch "$BENCH_SOURCE/Bench.prj"
trap 'rm -f "$BENCH_SOURCE/Bench.prj"' EXIT
"$build_dir/host/zandrel" --ui=terminal zip "$BENCH_SOURCE/Bench.prj"
mv "$BENCH_SOURCE/Bench.zip" "$BENCH_ARCHIVE"
