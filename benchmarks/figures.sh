#!/usr/bin/env bash
# The light-and-fast figures side by side, in one table: command-line forms, vagrant
# global-status against vesk machines, start-up to the built menu, and the idle process on a
# real X11 display (Xvfb + icewm with its tray), with what the idle process has mapped.
# Usage: benchmarks/figures.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
vesk="$build/src/app/vesk"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

index() { # HOME COUNT
    mkdir -p "$1/.vagrant.d/data/machine-index"
    python3 - "$1/.vagrant.d/data/machine-index/index" "$2" <<'PY'
import json, sys
path, count = sys.argv[1], int(sys.argv[2])
machines = {"%032x" % i: {"name": "m%d" % i, "provider": "virtualbox",
            "state": "running" if i % 2 == 0 else "poweroff",
            "local_data_path": "/p/m%d/.vagrant" % i} for i in range(count)}
open(path, "w").write(json.dumps({"version": 1, "machines": machines}))
PY
}

# One command line: median of 15 runs and peak resident memory.
cli() { # HOME ARGS...
    local home=$1
    shift
    python3 - "$home" "$vesk" "$@" <<'PY'
import os, statistics, subprocess, sys, time
home, program, args = sys.argv[1], sys.argv[2], sys.argv[3:]
env = dict(os.environ, HOME=home)
times = []
for _ in range(15):
    start = time.perf_counter()
    subprocess.run([program] + args, env=env, stdout=subprocess.DEVNULL, check=True)
    times.append((time.perf_counter() - start) * 1000)
peak = subprocess.run(["/usr/bin/time", "-f", "%M", program] + args, env=env,
                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
print("%.1f ms, %.1f MB" % (statistics.median(times), int(peak.stderr.split()[-1]) / 1024))
PY
}

index "$work/five" 5
machines=$(cli "$work/five" machines)
render=$(cli "$work/five" render resources/samples/Flask.vesk)
ratio=$(benchmarks/machines_vs_global_status.sh "$vesk" 1000 3 | sed -n 's/^ratio global-status \/ vesk: *//p')
startup=$(benchmarks/startup.sh "$build" | sed -n 's/^machines=\([0-9]*\).*= \([0-9]* ms\)/\2/p' | paste -sd/ -)

# The idle process on a real X11 display with a tray, welcome window closed, 100 machines.
index "$work/x11" 100
mkdir -p "$work/x11/runtime" "$work/x11/icewm" && chmod 700 "$work/x11/runtime"
echo "TaskBarEnableSystemTray=1" >"$work/x11/icewm/preferences"
Xvfb :93 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
DISPLAY=:93 ICEWM_PRIVCFG="$work/x11/icewm" icewm >/dev/null 2>&1 &
sleep 2
DISPLAY=:93 HOME="$work/x11" XDG_RUNTIME_DIR="$work/x11/runtime" QT_QPA_PLATFORM=xcb "$vesk" >/dev/null 2>&1 &
pid=$!
sleep 5
DISPLAY=:93 wmctrl -c "Welcome to Vesk" || true
sleep 3
idle=$(awk '/^Rss:/ {print int($2 / 1024) " MB"}' "/proc/$pid/smaps_rollup")
heavy=$(grep -oE 'libQt6WebEngine[A-Za-z]*|libQt6Quick|libQt6Qml|libLLVM[^ ]*|[a-z]+_dri\.so|libGLX_[a-z]+' "/proc/$pid/maps" | sort -u | paste -sd' ' - || true)
kill "$pid"

printf '| figure | measured | goal |\n|---|---|---|\n'
printf '| `vesk machines`, 5 machines | %s | under 12 ms, 15 MB |\n' "$machines"
printf '| `vesk render` of a sample | %s | under 12 ms, 15 MB |\n' "$render"
printf '| global-status / vesk machines, 1,000 machines | %s | at least 250x |\n' "$ratio"
printf '| start to menu built, 0 / 100 / 1,000 machines | %s | under 60 / 80 / 120 ms |\n' "$startup"
printf '| idle resident memory, 100 machines, X11 with a tray | %s | under 45 MB |\n' "$idle"
printf '| heavy libraries mapped at idle | %s | none |\n' "${heavy:-none}"
