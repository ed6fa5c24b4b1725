#!/usr/bin/env bash
# An INDI LX200 driver connects to stellacq-mount-sim through its device
# port, reads the position, guides north for 1000 ms, moves north and stops,
# and goes to a target. Each run has its own indiserver on a free port with
# its own socket and a scratch HOME; every process it started is ended on
# the way out, also when a step fails.
#
#   indi_mount_test.sh MOUNT_SIM DRIVER DEVICE [MOUNT_SIM_OPTION...]
set -uo pipefail
mount_sim=$1 driver=$2 dev=$3
shift 3
scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($driver): $*"
  echo "--- mount log"; tail -n 40 "$scratch/mount.log" 2>/dev/null
  echo "--- indiserver"; tail -n 20 "$scratch/indiserver.log" 2>/dev/null
  exit 1
}
export HOME=$scratch

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])') ||
  fail "no free port"
get() { indi_getprop -p "$port" -t 2 -1 "$dev.$1"; }
set_prop() { indi_setprop -p "$port" "$dev.$1" || fail "cannot set $1"; }
wait_for() { indi_eval -p "$port" -t "$1" -w "$2" >/dev/null 2>&1 || fail "not within $1 s: $2"; }
# |a - b| <= tolerance, in whatever unit a and b are given.
near() { python3 -c "import sys; sys.exit(0 if abs($1 - ($2)) <= $3 else 1)"; }

"$mount_sim" --no-drift --slew-rate 10 --log "$scratch/mount.log" "$@" >"$scratch/mount.out" 2>"$scratch/mount.err" &
pids+=($!)
for _ in $(seq 50); do [[ -s $scratch/mount.out ]] && break; sleep 0.1; done
device=$(head -n 1 "$scratch/mount.out")
[[ -c $device ]] || fail "stellacq-mount-sim printed no device: $(cat "$scratch/mount.err")"

indiserver -p "$port" -u "$scratch/indi.sock" "$driver" >"$scratch/indiserver.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do get DEVICE_PORT.PORT >/dev/null 2>&1 && break; sleep 0.2; done
set_prop "DEVICE_PORT.PORT=$device"
set_prop "CONNECTION.CONNECT=On"
wait_for 15 "\"$dev.CONNECTION.CONNECT\"==1"
wait_for 10 "\"$dev.EQUATORIAL_EOD_COORD.RA\">0"
grep -q -- '-> P$' "$scratch/mount.log" || fail "no answer to the driver's ACK"

# The position the mount started at: 5h35m17s, -5d23'24".
ra=$(get EQUATORIAL_EOD_COORD.RA) && dec=$(get EQUATORIAL_EOD_COORD.DEC) || fail "no EQUATORIAL_EOD_COORD"
near "$ra" 5.588 0.001 && near "$dec" -5.39 0.0003 || fail "position $ra $dec"

# A 1000 ms north pulse at the guide rate, half the sidereal rate: 7.52".
set_prop "TELESCOPE_TIMED_GUIDE_NS.TIMED_GUIDE_N;TIMED_GUIDE_S=1000;0"
sleep 2.5
guided=$(get EQUATORIAL_EOD_COORD.DEC)
near "($guided - $dec) * 3600" 7.52 0.75 || fail "a 1000 ms pulse moved $(((guided - dec) * 3600))\" instead of 7.52\""

# At the centring rate, 8 x sidereal: 120" a second.
set_prop "TELESCOPE_SLEW_RATE.2x=On"
set_prop "TELESCOPE_MOTION_NS.MOTION_NORTH=On"
sleep 1
set_prop "TELESCOPE_MOTION_NS.MOTION_NORTH=Off"
sleep 1.5
moved=$(get EQUATORIAL_EOD_COORD.DEC)
sleep 1.5
still=$(get EQUATORIAL_EOD_COORD.DEC)
near "($moved - $guided) * 3600" 120 60 || fail "moving north went from $guided to $moved"
[[ $moved == "$still" ]] || fail "the mount went on moving after the stop: $moved, then $still"

set_prop "EQUATORIAL_EOD_COORD.RA;DEC=5.7;-4.5"
wait_for 20 "\"$dev.EQUATORIAL_EOD_COORD._STATE\"==1"
ra=$(get EQUATORIAL_EOD_COORD.RA) && dec=$(get EQUATORIAL_EOD_COORD.DEC)
near "$ra" 5.7 0.0002 && near "$dec" -4.5 0.0003 || fail "the goto ended at $ra $dec"
grep -q -- '<- :MS#' "$scratch/mount.log" || fail "no :MS# in the log"
grep -q -- "<- :RC#" "$scratch/mount.log" || fail "no centring rate (:RC#) before the move"
if [[ " $* " == *" --low-precision "* ]]; then
  grep -q -- '<- :U#' "$scratch/mount.log" || fail "the driver left the mount in low precision"
fi
[[ -z ${MOUNT_LOG_COPY:-} ]] || cp "$scratch/mount.log" "$MOUNT_LOG_COPY"
echo "PASS ($driver): connected, guided, moved, stopped and went to the target"
