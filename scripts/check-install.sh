#!/usr/bin/env bash
# Checks what a build installs, the way a user gets it, from a working folder of its own:
#   tree  cmake --install into a temporary prefix; also a staged install (DESTDIR) moved
#         elsewhere and a program reached through a symbolic link
#   deb   cpack -G DEB, dpkg -i, the programs from /usr/bin, then dpkg --purge (needs root)
# Each runs `zandrel --version`, `zandrel zip` on a copy of the bundled example and a small
# webcopy job.
# usage: scripts/check-install.sh BUILD_DIR [tree|deb|all]   (default: all)
set -euo pipefail
# Outputs are searched from a variable, never piped into `grep -q`: grep stops reading at the
# first match, and under pipefail the writer's broken pipe would fail a good check.
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [tree|deb|all]" >&2; exit 2; }
build=$(cd "$1" && pwd)
mode=${2:-all}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "$build is not a configured build folder" >&2; exit 2; }

work=$(mktemp -d)
installed_deb=0
cleanup() {
  stop_ftp
  if [ "$installed_deb" = 1 ]; then dpkg --purge zandrel >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-install: $*" >&2; exit 1; }

# Runs the programs in BIN (or reached through the links in BIN) from a folder unrelated to
# the source and build trees.
check_programs() {
  local bin=$1 label=$2
  local here="$work/run-$label"
  mkdir -p "$here/config/zandrel" "$here/out"
  # The patterns to pack, as the options dialog would have saved them.
  printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\QuillonSoftware\FTPUploaderIDEPlugin]' \
    '"ZIPFilter"="*.PAS;*.DPK;*.DPR;*.RES;*.DFM"' > "$here/config/zandrel/user.reg"
  chmod 600 "$here/config/zandrel/user.reg"
  cd "$here"
  echo "== $label: $bin"
  [ "$("$bin/zandrel" --version)" = "zandrel $version" ] || fail "$label: zandrel --version is not $version"
  grep -q "^webcopy $version " <<<"$("$bin/webcopy" --version)" || fail "$label: webcopy --version is not $version"

  cp -r "$root/examples/Demo" "$here/Demo"
  rm -f "$here/Demo/Demo.zip"
  XDG_CONFIG_HOME="$here/config" DISPLAY= WAYLAND_DISPLAY= \
    "$bin/zandrel" --ui=terminal zip "$here/Demo/Demo.prj" || fail "$label: zandrel zip failed"
  grep -q "Unit1.pas" <<<"$(unzip -l "$here/Demo/Demo.zip")" || fail "$label: the archive lacks Unit1.pas"

  printf 'payload %s\n' "$label" > "$here/source.txt"
  cat > "$here/job.json" <<JOB
{"ShowDialog": false, "Items": [{"Protocol": "wpFile", "URL": "$here/source.txt", "TargetDir": "$here/out"}]}
JOB
  DISPLAY= WAYLAND_DISPLAY= "$bin/webcopy" --ui=terminal "$here/job.json" || fail "$label: webcopy job failed"
  cmp -s "$here/source.txt" "$here/out/source.txt" || fail "$label: webcopy did not copy the file"
  cd "$root"
}

ftp_pid=
stop_ftp() {
  if [ -n "$ftp_pid" ]; then kill "$ftp_pid" 2>/dev/null || true; wait "$ftp_pid" 2>/dev/null || true; fi
  ftp_pid=
}

# Builds examples/upload_with_progress against the installed tree alone and uploads a file to
# the tests' FTP server on 127.0.0.1 with it.
check_example() {
  local prefix=$1
  cmake -S "$root/examples/upload_with_progress" -B "$work/example" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null \
    || fail "the example does not configure against $prefix"
  cmake --build "$work/example" >/dev/null || fail "the example does not build against $prefix"

  mkdir -p "$work/ftp-root/incoming"
  /usr/bin/python3 "$root/tests/fixtures/ftp_server.py" --root "$work/ftp-root" --log "$work/ftp.log" \
    --user alice --password secret > "$work/ftp.port" &
  ftp_pid=$!
  local port= tries=0
  while [ -z "$port" ] && [ $tries -lt 100 ]; do
    sleep 0.1; tries=$((tries + 1))
    port=$(sed -n 's/^PORT //p' "$work/ftp.port")
  done
  [ -n "$port" ] || fail "the FTP server did not start"

  head -c 300000 /dev/urandom > "$work/upload.bin"
  (cd "$work" && "$work/example/upload_with_progress" "$work/upload.bin" 127.0.0.1 "$port" alice secret incoming) \
    > "$work/example.out" || { cat "$work/example.out"; stop_ftp; fail "the example's upload failed"; }
  # A refused password: a non-zero status and the reason.
  if "$work/example/upload_with_progress" "$work/upload.bin" 127.0.0.1 "$port" alice wrong incoming \
       > /dev/null 2> "$work/example.err"; then
    stop_ftp; fail "the example reported success with a wrong password"
  fi
  stop_ftp
  grep -q "upload failed: ." "$work/example.err" || fail "the example's failure gave no reason"
  cat "$work/example.err"
  # The same program built with pkg-config instead of CMake.
  PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name zandrel-webcopy.pc)")" \
    sh -c 'c++ -o "$1" "$2" $(pkg-config --cflags --libs zandrel-webcopy)' sh \
    "$work/example-pc" "$root/examples/upload_with_progress/main.cpp" || fail "pkg-config build failed"
  # A program written against 0.1 includes the header without the zandrel/ folder; that still
  # builds for one release.
  printf '#include <webcopy/ZandrelWebCopy.h>\nint main() { zandrel::webcopy::TZandrelWebCopy c; return c.Items.Count(); }\n' \
    > "$work/old-include.cpp"
  PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name zandrel-webcopy.pc)")" \
    sh -c 'c++ -fsyntax-only "$1" $(pkg-config --cflags zandrel-webcopy)' sh "$work/old-include.cpp" \
    || fail "the 0.1 include form no longer builds"
  # The published interface is all an embedding program sees: no layer below it is installed.
  [ -z "$(find "$prefix" -path '*/include/zandrel/platform/inet*')" ] \
    || fail "the Internet layer's headers are installed"
  grep -q "of 300000 bytes" "$work/example.out" || fail "the example printed no progress"
  cmp -s "$work/upload.bin" "$work/ftp-root/incoming/upload.bin" || fail "the uploaded file differs"
  echo "== example: built against $prefix, uploaded on port $port"
}

check_tree() {
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  check_programs "$work/prefix/bin" prefix
  check_example "$work/prefix"

  # A staged install moved elsewhere, and the program reached through a link.
  DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/zandrel >/dev/null
  mv "$work/stage/opt/zandrel" "$work/moved"
  check_programs "$work/moved/bin" moved
  mkdir -p "$work/links"
  ln -s "$work/moved/bin/zandrel" "$work/links/zandrel"
  ln -s "$work/moved/bin/webcopy" "$work/links/webcopy"
  check_programs "$work/links" linked
}

# The package carries both pages; where they were unpacked (minimal images tell dpkg to leave
# /usr/share/man out) and man-db is present, `man zandrel` shows the page.
check_manual_pages() {
  local deb=$1 program page contents installed shown
  contents=$(dpkg-deb --contents "$deb")
  installed=$(dpkg -L zandrel)
  for program in zandrel webcopy; do
    grep -q "/man1/$program\.1" <<<"$contents" || fail "the package has no $program(1)"
    page=$(grep -m 1 "/man1/$program\.1" <<<"$installed" || true)
    if [ -n "$page" ] && [ -e "$page" ] && command -v man >/dev/null; then
      shown=$(MANPAGER=cat MANWIDTH=80 man "$program" 2>&1 || true)
      grep -q "$program" <<<"$shown" || fail "man $program does not show the installed page"
    fi
  done
  echo "check-install: the package's manual pages are in place"
}

check_deb() {
  [ "$(id -u)" = 0 ] || fail "the deb check installs a package: run it as root"
  if [ "$(dpkg-query -W -f='${Status}' zandrel 2>/dev/null || true)" = "install ok installed" ]; then
    fail "a zandrel package is already installed; remove it first"
  fi
  rm -f "$build"/zandrel_*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  local deb
  deb=$(ls "$build"/zandrel_*.deb)
  dpkg-deb --field "$deb" Depends
  installed_deb=1
  if ! dpkg -i "$deb"; then
    apt-get install -f -y -qq
  fi
  check_programs /usr/bin deb
  check_manual_pages "$deb"
  dpkg --purge zandrel >/dev/null
  installed_deb=0
  [ ! -e /usr/bin/zandrel ] || fail "dpkg --purge left /usr/bin/zandrel behind"
}

case "$mode" in
  tree) check_tree ;;
  deb) check_deb ;;
  all) check_tree; check_deb ;;
  *) echo "usage: $0 BUILD_DIR [tree|deb|all]" >&2; exit 2 ;;
esac
echo "check-install: $mode passed"
