#!/usr/bin/env bash
# Sets up a fresh machine, builds Zandrel and runs "Zip Project" on the bundled example project.
# The example keeps its settings in build/example-config, so your own settings are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target zandrel

export XDG_CONFIG_HOME="$PWD/build/example-config"
settings="$XDG_CONFIG_HOME/zandrel/user.reg"
if [ ! -f "$settings" ]; then
  # The patterns the options dialog starts with; the settings file can be edited by hand.
  mkdir -p "$(dirname "$settings")"
  cat > "$settings" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\QuillonSoftware\FTPUploaderIDEPlugin]
"ZIPFilter"="*.PAS;*.DPK;*.DPR;*.RES;*.DFM"

REG
  chmod 600 "$settings"
fi

build/host/zandrel menu examples/Demo/Demo.prj
build/host/zandrel --ui=terminal zip examples/Demo/Demo.prj
unzip -l examples/Demo/Demo.zip
