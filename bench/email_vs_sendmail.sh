#!/usr/bin/env bash
# "Zip && Email Project" with auto-send on a project-like folder of about 100 MB (2,000 source-like
# text files and ten 5 MB mostly incompressible binaries): the real `zandrel email` command
# against its peers doing the same work by hand, in one run, all handing the message to the same
# sendmail (msmtp) that delivers it to the same local SMTP sink (aiosmtpd):
#   zip+python  Info-ZIP's `zip -q` of the same files, then a MIME message of that archive built by
#               python3's email package and piped to `sendmail -t -oi`
#   zip+base64  the same archive, then a MIME message assembled by hand around coreutils'
#               `base64` (the least work any tool can do for it) and piped to `sendmail -t -oi`
# Reports the wall times (median of ROUNDS, default 3) and the ratio to each peer; the goal is at
# most 1.2 times the zip+python peer. Every message is checked to have arrived whole.
#
# usage: bench/email_vs_sendmail.sh BUILD_DIR
# Needs: zip, msmtp-mta (sendmail), python3-aiosmtpd, and BUILD_DIR/host/zandrel with its package.
set -euo pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench_mode.sh
. "$here/bench_mode.sh"
rounds=${ROUNDS:-$(full_or_smoke 3 1)}
zandrel="$build_dir/host/zandrel"
[ -x "$zandrel" ] || { echo "missing $zandrel: build the zandrel and QuillonZandrel targets first" >&2; exit 1; }
command -v zip >/dev/null || { echo "Info-ZIP's zip is not installed" >&2; exit 1; }
sendmail=$(command -v sendmail || echo /usr/sbin/sendmail)
[ -x "$sendmail" ] || { echo "no sendmail: install msmtp-mta" >&2; exit 1; }
/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || { echo "python3-aiosmtpd is not installed" >&2; exit 1; }

# On the build disk, not /tmp (which may be tmpfs).
work="$build_dir/bench-scratch/email_vs_sendmail"
sink="$work/sink"
mkdir -p "$work" "$sink"
source_dir=$(bench_project_folder "$work")

# The SMTP sink, stopped on the way out.
/usr/bin/python3 "$here/../tests/fixtures/smtp_server.py" --dir "$sink" --raw-only >"$work/sink.port" 2>"$work/sink.err" &
sink_pid=$!
trap 'kill "$sink_pid" 2>/dev/null || true; rm -f "$source_dir/Bench.prj" "$source_dir/Bench.zip"' EXIT
for _ in $(seq 100); do grep -q '^PORT ' "$work/sink.port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^PORT /{print $2}' "$work/sink.port")
[ -n "$port" ] || { echo "the SMTP sink did not start: $(cat "$work/sink.err")" >&2; exit 1; }

# One person's set-up for all: msmtp sends to the sink; zandrel mails to one address with auto-send.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/zandrel"
printf 'account default\nhost 127.0.0.1\nport %s\nfrom bench@example.org\nauth off\ntls off\n' "$port" >"$HOME/.msmtprc"
chmod 600 "$HOME/.msmtprc"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"ZIPFilter"="*.*"\n"EMAILTo"="peer@example.org"\n"EMAILSubject"="Bench"\n"EMAILBody"="The archive."\n"EMAILAuto"=dword:00000001\n\n' \
  >"$XDG_CONFIG_HOME/zandrel/user.reg"
chmod 600 "$XDG_CONFIG_HOME/zandrel/user.reg"

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
source_bytes=$(find "$source_dir" -maxdepth 1 -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
delivered=0
# The newest message arrived, and holds an attachment about as large as the archive in base64.
check_delivery() {
  local archive_bytes=$1 what=$2 eml
  delivered=$((delivered + 1))
  eml="$sink/message-$delivered.eml"
  [ -f "$eml" ] || { echo "$what: no message arrived" >&2; exit 1; }
  local size
  size=$(stat -c %s "$eml")
  [ "$size" -gt $((archive_bytes * 4 / 3)) ] || { echo "$what: the message ($size bytes) is too small for the archive" >&2; exit 1; }
  rm -f "$eml"
}

zandrel_times=() python_times=() base64_times=()
run_zandrel() {
  local start end
  touch "$source_dir/Bench.prj"
  rm -f "$source_dir/Bench.zip"
  start=$(now)
  "$zandrel" --ui=terminal email "$source_dir/Bench.prj" >"$work/zandrel.out" 2>"$work/zandrel.err" ||
    { echo "zandrel email failed:" >&2; cat "$work/zandrel.err" >&2; exit 1; }
  end=$(now)
  zandrel_times+=("$(echo "$end - $start" | bc)")
  check_delivery "$(stat -c %s "$source_dir/Bench.zip")" "zandrel email"
  rm -f "$source_dir/Bench.prj" "$source_dir/Bench.zip"
}
run_zip_python() {
  local start end
  rm -f "$work/Peer.zip"
  start=$(now)
  (cd "$source_dir" && zip -q "$work/Peer.zip" -- *)
  /usr/bin/python3 - "$work/Peer.zip" "$sendmail" <<'PY'
import subprocess, sys
from email.message import EmailMessage
from email.generator import BytesGenerator
archive, sendmail = sys.argv[1], sys.argv[2]
message = EmailMessage()
message["To"] = "peer@example.org"
message["Subject"] = "Bench"
message.set_content("The archive.")
with open(archive, "rb") as f:
    message.add_attachment(f.read(), maintype="application", subtype="zip", filename="Peer.zip")
with subprocess.Popen([sendmail, "-t", "-oi"], stdin=subprocess.PIPE) as proc:
    BytesGenerator(proc.stdin, policy=message.policy.clone(linesep="\n")).flatten(message)
    proc.stdin.close()
    sys.exit(proc.wait())
PY
  end=$(now)
  python_times+=("$(echo "$end - $start" | bc)")
  check_delivery "$(stat -c %s "$work/Peer.zip")" "zip+python"
}
run_zip_base64() {
  local start end
  rm -f "$work/Peer.zip"
  start=$(now)
  (cd "$source_dir" && zip -q "$work/Peer.zip" -- *)
  {
    printf 'To: peer@example.org\nSubject: Bench\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b0undary\n\n'
    printf -- '--b0undary\nContent-Type: text/plain; charset=UTF-8\n\nThe archive.\n'
    printf -- '--b0undary\nContent-Type: application/zip; name=Peer.zip\nContent-Transfer-Encoding: base64\n'
    printf 'Content-Disposition: attachment; filename=Peer.zip\n\n'
    base64 -w 76 "$work/Peer.zip"
    printf -- '--b0undary--\n'
  } | "$sendmail" -t -oi
  end=$(now)
  base64_times+=("$(echo "$end - $start" | bc)")
  check_delivery "$(stat -c %s "$work/Peer.zip")" "zip+base64"
}

# One untimed round of each warms the page cache for all alike.
run_zandrel; run_zip_python; run_zip_base64
zandrel_times=() python_times=() base64_times=()
for ((i = 0; i < rounds; i++)); do
  run_zandrel
  run_zip_python
  run_zip_base64
done

t_zandrel=$(printf '%s\n' "${zandrel_times[@]}" | median)
t_python=$(printf '%s\n' "${python_times[@]}" | median)
t_base64=$(printf '%s\n' "${base64_times[@]}" | median)
printf 'project folder: %s files, %.1f MB; sendmail: %s (%s); %s rounds, medians\n' \
  "$(find "$source_dir" -maxdepth 1 -type f | wc -l)" "$(echo "$source_bytes / 1000000" | bc -l)" "$sendmail" \
  "$(readlink -f "$sendmail")" "$rounds"
printf '%-28s %8.2f s\n' "zandrel email (auto-send)" "$t_zandrel" "zip -q + python3 email" "$t_python" \
  "zip -q + base64 by hand" "$t_base64"
printf 'ratio zandrel / zip+python: %.2f (goal <= 1.2)\n' "$(echo "$t_zandrel / $t_python" | bc -l)"
printf 'ratio zandrel / zip+base64: %.2f\n' "$(echo "$t_zandrel / $t_base64" | bc -l)"
