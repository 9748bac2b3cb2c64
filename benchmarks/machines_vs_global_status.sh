#!/bin/bash
# Times `vagrant global-status` against `vesk machines` on the same 1,000-machine index, as whole
# processes, in a temporary HOME (nothing of the caller's own Vagrant data is read or touched).
# Usage: benchmarks/machines_vs_global_status.sh [path/to/vesk] [machines] [runs]
set -euo pipefail

vesk=${1:-"$(dirname "$0")/../build/src/app/vesk"}
machines=${2:-1000}
runs=${3:-5}
vagrant=${VAGRANT:-/usr/bin/vagrant}

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home VAGRANT_CHECKPOINT_DISABLE=1 VAGRANT_DISABLE_VBOXSYMLINKCREATE=1
unset VAGRANT_HOME
mkdir -p "$home/.vagrant.d/data/machine-index"

python3 - "$home/.vagrant.d/data/machine-index/index" "$machines" <<'PY'
import json, sys, uuid
path, count = sys.argv[1], int(sys.argv[2])
states = ["running", "poweroff", "saved", "aborted"]
machines = {}
for i in range(count):
    project = f"/home/user/Projects/project-{i}"
    machines[uuid.UUID(int=i + 1).hex] = {
        "local_data_path": project + "/.vagrant", "name": "default",
        "provider": "virtualbox", "state": states[i % 4], "vagrantfile_name": None,
        "vagrantfile_path": project, "updated_at": None,
        "extra_data": {"box": {"name": "debian/bookworm64", "provider": "virtualbox",
                               "version": "12.20230615.1"}}}
with open(path, "w") as f:
    json.dump({"version": 1, "machines": machines}, f, separators=(",", ":"))
PY

# Best of $runs wall-clock times of one command, in milliseconds.
best() {
    local best_ms=
    for _ in $(seq "$runs"); do
        local start end ms
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 </dev/null
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
    done
    echo "$best_ms"
}

lines=$("$vesk" machines | wc -l)
global=$(best "$vagrant" global-status)
ours=$(best "$vesk" machines)
ours_json=$(best "$vesk" machines --json)

echo "machines in the index:        $machines (vesk machines lists $lines)"
echo "vagrant global-status:        ${global} ms (best of $runs)"
echo "vesk machines:                ${ours} ms (best of $runs)"
echo "vesk machines --json:         ${ours_json} ms (best of $runs)"
awk -v g="$global" -v o="$ours" 'BEGIN { if (o < 1) o = 1; printf "ratio global-status / vesk:   %.0fx\n", g / o }'
