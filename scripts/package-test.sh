#!/usr/bin/env bash
# Builds the Debian package in build/, lists its files, runs lintian where
# it is installed (failing on errors, E:, only) and checks the menu entries.
# As root, on a machine where no stellacq package is installed, it then
# installs the package, starts both programs from their menu entries and the
# simulated mount, and removes the package again (also when a step fails); a
# machine that has stellacq installed keeps it untouched and this step is
# skipped.
set -euo pipefail
cd "$(dirname "$0")/../build"

rm -f stellacq_*.deb
cpack -G DEB
deb=$(ls stellacq_*.deb)
dpkg-deb -c "$deb"
dpkg-deb -f "$deb" Package Version Depends Recommends
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb"
else
  echo "lintian is not installed: package check skipped"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate ../packaging/stellacq.desktop ../packaging/stellacq-sim.desktop
fi

if [[ $EUID -ne 0 ]]; then
  echo "not root: the install test is skipped"
  exit 0
fi
if dpkg-query -W -f='${Status}' stellacq 2>/dev/null | grep -q "ok installed"; then
  echo "a stellacq package is installed on this machine: the install test is skipped"
  exit 0
fi

run=$(mktemp -d)
trap 'dpkg -r stellacq >/dev/null 2>&1 || true; rm -rf "$run"' EXIT
dpkg -i "$deb"
for entry in stellacq stellacq-sim; do
  exe=$(sed -n 's/^Exec=//p' "/usr/share/applications/$entry.desktop")
  # Started in a scratch folder (the settings file is kept in the current
  # folder); still running after three seconds means it came up.
  status=0
  (cd "$run" && QT_QPA_PLATFORM=offscreen timeout 3 "$exe" >/dev/null 2>&1) || status=$?
  if [[ $status -ne 124 ]]; then
    echo "$entry did not start from its menu entry (exit $status)"
    exit 1
  fi
done
# The simulated mount prints the pseudo-terminal it serves on.
device=$(timeout 3 stellacq-mount-sim | head -n 1) || true
if [[ $device != /dev/pts/* ]]; then
  echo "stellacq-mount-sim printed no device (\"$device\")"
  exit 1
fi
dpkg -r stellacq
for f in /usr/bin/stellacq /usr/bin/stellacq-sim /usr/bin/stellacq-mount-sim /usr/share/applications/stellacq.desktop \
  /usr/share/applications/stellacq-sim.desktop /usr/share/icons/hicolor/scalable/apps/stellacq.svg; do
  if [[ -e $f ]]; then
    echo "$f is left after the package was removed"
    exit 1
  fi
done
echo "the package installs, both programs start from their menu entries, and it removes cleanly"
