#!/usr/bin/env bash
# Builds the Debian packages in build/ (stellacq and, where they are built,
# indi-stellacq and stellacq-alpaca), lists each one's files and fields, runs lintian
# where it is installed (failing on errors, E:, only) and checks the menu
# entries and that only indi-stellacq depends on INDI. As root, on a machine
# where none of these packages is installed, it then installs them, starts
# what each one brings (both programs from their menu entries, the simulated
# mount, the INDI driver, the Alpaca server) and removes them again (also when a step fails),
# checking that no file of theirs is left; a machine that has one of them
# installed keeps it untouched and this step is skipped.
set -euo pipefail
cd "$(dirname "$0")/../build"

fail() {
  echo "$*"
  exit 1
}

rm -f ./*.deb
cpack -G DEB
debs=(./*.deb)
packages=()
for deb in "${debs[@]}"; do
  packages+=("$(dpkg-deb -f "$deb" Package)")
  dpkg-deb -c "$deb"
  dpkg-deb -f "$deb" Package Version Depends Recommends Suggests Breaks Replaces
  echo
done
expected=(stellacq)
if [[ -x indi/indi_stellacq_ccd ]]; then expected+=(indi-stellacq); fi
if [[ -x alpaca/stellacq-alpaca ]]; then expected+=(stellacq-alpaca); fi
[[ "$(printf '%s\n' "${packages[@]}" | sort)" == "$(printf '%s\n' "${expected[@]}" | sort)" ]] ||
  fail "cpack made the packages ${packages[*]}, not ${expected[*]}"
field() { dpkg-deb -f ./"$1"_*.deb "$2"; }
[[ $(field stellacq Depends) != *indi* ]] || fail "stellacq depends on INDI: $(field stellacq Depends)"
if [[ " ${packages[*]} " == *" indi-stellacq "* ]]; then
  [[ $(field indi-stellacq Depends) == *libindidriver1* ]] || fail "indi-stellacq does not depend on libindidriver1"
  [[ $(field indi-stellacq Recommends) == *indi-bin* ]] || fail "indi-stellacq does not recommend indi-bin"
fi

if [[ " ${packages[*]} " == *" stellacq-alpaca "* ]]; then
  [[ $(field stellacq-alpaca Depends) != *indi* ]] || fail "stellacq-alpaca depends on INDI"
fi

if command -v lintian >/dev/null; then
  for deb in "${debs[@]}"; do lintian --fail-on error "$deb"; done
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
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    echo "a $package package is installed on this machine: the install test is skipped"
    exit 0
  fi
done

# Another apt or dpkg (an unattended upgrade, a second test run) may hold the
# package manager's lock for a while: apt waits for it, up to ten minutes,
# instead of failing at once as dpkg does.
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=600 "$@"; }
run=$(mktemp -d)
trap 'apt_get remove "${packages[@]}" >/dev/null 2>&1 || true; rm -rf "$run"' EXIT
apt_get install --no-install-recommends "${debs[@]}"

# stellacq: both programs started from their menu entries, in a scratch
# folder (the settings file is kept in the current folder); still running
# after three seconds means it came up. The simulated mount prints the
# pseudo-terminal it serves on.
for entry in stellacq stellacq-sim; do
  exe=$(sed -n 's/^Exec=//p' "/usr/share/applications/$entry.desktop")
  status=0
  (cd "$run" && QT_QPA_PLATFORM=offscreen timeout 3 "$exe" >/dev/null 2>&1) || status=$?
  [[ $status -eq 124 ]] || fail "$entry did not start from its menu entry (exit $status)"
done
device=$(timeout 3 stellacq-mount-sim | head -n 1) || true
[[ $device == /dev/pts/* ]] || fail "stellacq-mount-sim printed no device (\"$device\")"

# indi-stellacq: the driver its XML names, asked for its properties on its
# standard input as indiserver asks it (with a scratch home for its
# configuration), defines the camera device.
if [[ " ${packages[*]} " == *" indi-stellacq "* ]]; then
  driver=$(sed -n 's:.*<driver name="STELLACQ CCD">\(.*\)</driver>.*:\1:p' /usr/share/indi/indi_stellacq.xml)
  [[ $driver == indi_stellacq_ccd ]] || fail "the driver XML names no driver (\"$driver\")"
  (echo '<getProperties version="1.7"/>' && sleep 2) | (cd "$run" && HOME=$run timeout 5 "$driver" >"$run/indi.xml" 2>&1) || true
  tr '\n' ' ' <"$run/indi.xml" | grep -q "<defSwitchVector *device='STELLACQ CCD' *name='CONNECTION'" ||
    fail "$driver defined no STELLACQ CCD device: $(head -c 2000 "$run/indi.xml")"
fi

# stellacq-alpaca: its service is installed disabled; the program in
# simulation answers an Alpaca request on a port of its own.
if [[ " ${packages[*]} " == *" stellacq-alpaca "* ]]; then
  if command -v systemctl >/dev/null; then
    enabled=$(systemctl is-enabled stellacq-alpaca.service 2>/dev/null) || true
    [[ $enabled == disabled ]] || fail "the stellacq-alpaca service is \"$enabled\", not disabled"
  fi
  port=$((20000 + RANDOM % 20000))
  (cd "$run" && HOME=$run exec stellacq-alpaca --simulate --port "$port" --discovery-port 0 2>"$run/alpaca.log") &
  server=$!
  answer=""
  for _ in $(seq 50); do
    sleep 0.1
    if exec 3<>"/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
      printf 'GET /api/v1/camera/0/name HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n' >&3
      answer=$(cat <&3)
      exec 3<&-
      break
    fi
  done
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  [[ $answer == *'"Value":"STELLACQ CCD"'* ]] || fail "stellacq-alpaca did not answer: $answer $(cat "$run/alpaca.log")"
fi

apt_get remove "${packages[@]}"
for deb in "${debs[@]}"; do
  while read -r path; do
    if [[ -e $path && ! -d $path ]]; then fail "$path is left after the packages were removed"; fi
  done < <(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}')
done
echo "the packages ${packages[*]} install, their programs start, and they remove cleanly"
