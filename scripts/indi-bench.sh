#!/usr/bin/env bash
# The INDI driver's benchmark against INDI 1.9 (build/, the system's INDI)
# and INDI 2.x (build-indi2/, the INDI that scripts/build-indi2.sh built
# from STELLACQ_INDI2_SOURCE), one after the other in one run, each beside
# INDI's CCD simulator of the same version. Builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
cmake --build build -j"$(nproc)" --target indi_bench >/dev/null
build/bench/indi_bench || status=$?
if [[ -n "${STELLACQ_INDI2_SOURCE:-}" ]]; then
  indi2=$(scripts/build-indi2.sh "$STELLACQ_INDI2_SOURCE" | tail -n 1)
  cmake -S . -B build-indi2 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$indi2" >/dev/null
  cmake --build build-indi2 -j"$(nproc)" --target indi_bench >/dev/null
  echo
  build-indi2/bench/indi_bench || status=$?
else
  echo "INDI 2.x leg skipped: STELLACQ_INDI2_SOURCE names no INDI 2.x source tarball"
fi
exit "$status"
