#!/usr/bin/env bash
# Runs the Neovim client test: nvim_run.sh QMT WORKDIR SOURCEDIR.  Skips (77)
# without nvim.
set -euo pipefail
qmt=$1 work=$2 src=$3
command -v nvim >/dev/null 2>&1 || { echo "nvim not installed: skipped"; exit 77; }
mkdir -p "$work"
macro="$work/nvimMacro.txt"
printf 'start:\n  漢 = 1\n  box(10, 20, 30, 40, 赤)\n  GOSUB sub\n  y = 漢 + zz\nsub:\n  RET 0\n' > "$macro"
export QMT="$qmt" MACRO="$macro" HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
exec timeout 120 nvim --headless -u NONE -i NONE -n -c "luafile $src/nvim_client.lua"
