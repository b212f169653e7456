#!/usr/bin/env bash
# Checks what a build installs, the way a user gets it, from a working folder of its own:
#   tree  cmake --install into a temporary prefix; also a staged install (DESTDIR) moved
#         elsewhere and a program reached through a symbolic link
#   deb   cpack -G DEB, dpkg -i, the programs from /usr/bin, then dpkg --purge (needs root)
# Each runs `zandrel --version`, `zandrel zip` on a copy of the bundled example and a small
# webcopy job.
# usage: scripts/check-install.sh BUILD_DIR [tree|deb|all]   (default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [tree|deb|all]" >&2; exit 2; }
build=$(cd "$1" && pwd)
mode=${2:-all}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "$build is not a configured build folder" >&2; exit 2; }

work=$(mktemp -d)
installed_deb=0
cleanup() {
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
  "$bin/webcopy" --version | grep -q "^webcopy $version " || fail "$label: webcopy --version is not $version"

  cp -r "$root/examples/Demo" "$here/Demo"
  rm -f "$here/Demo/Demo.zip"
  XDG_CONFIG_HOME="$here/config" DISPLAY= WAYLAND_DISPLAY= \
    "$bin/zandrel" --ui=terminal zip "$here/Demo/Demo.prj" || fail "$label: zandrel zip failed"
  unzip -l "$here/Demo/Demo.zip" | grep -q "Unit1.pas" || fail "$label: the archive lacks Unit1.pas"

  printf 'payload %s\n' "$label" > "$here/source.txt"
  cat > "$here/job.json" <<JOB
{"ShowDialog": false, "Items": [{"Protocol": "wpFile", "URL": "$here/source.txt", "TargetDir": "$here/out"}]}
JOB
  DISPLAY= WAYLAND_DISPLAY= "$bin/webcopy" --ui=terminal "$here/job.json" || fail "$label: webcopy job failed"
  cmp -s "$here/source.txt" "$here/out/source.txt" || fail "$label: webcopy did not copy the file"
  cd "$root"
}

check_tree() {
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  check_programs "$work/prefix/bin" prefix

  # A staged install moved elsewhere, and the program reached through a link.
  DESTDIR="$work/stage" cmake --install "$build" --prefix /opt/zandrel >/dev/null
  mv "$work/stage/opt/zandrel" "$work/moved"
  check_programs "$work/moved/bin" moved
  mkdir -p "$work/links"
  ln -s "$work/moved/bin/zandrel" "$work/links/zandrel"
  ln -s "$work/moved/bin/webcopy" "$work/links/webcopy"
  check_programs "$work/links" linked
}

check_deb() {
  [ "$(id -u)" = 0 ] || fail "the deb check installs a package: run it as root"
  if dpkg-query -W -f='${Status}' zandrel 2>/dev/null | grep -q "install ok installed"; then
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
