#!/usr/bin/env bash
# Builds STELLACQ and starts stellacq-sim, the program wired to the simulated
# observatory. Its settings file STELLACQ.INI is kept in the folder it is
# started from (by default ./sim-run). Without a display it starts a virtual
# one (Xvfb) on :99.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target stellacq-sim stellacq
run_dir=${STELLACQ_RUN_DIR:-$top/sim-run}
mkdir -p "$run_dir"
cd "$run_dir"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting Xvfb on :99 (take a screenshot with: DISPLAY=:99 import -window root shot.png)"
  Xvfb :99 -screen 0 1280x800x24 >/dev/null 2>&1 &
  export DISPLAY=:99
  sleep 1
fi
exec "$top/build/app/stellacq-sim"
