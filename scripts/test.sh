#!/usr/bin/env bash
# Checks the formatting, builds everything with warnings as errors, runs
# every test through CTest, then builds and checks the Debian packages
# (scripts/package-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTELLACQ_WERROR=ON
cmake --build build -j"$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
cd ..
# The Debian packages: built, listed, checked by lintian, installed and removed.
scripts/package-test.sh
