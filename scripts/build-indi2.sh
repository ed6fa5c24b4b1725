#!/usr/bin/env bash
# Builds INDI's core (libindidriver, libindiclient, indiserver and the indi_*
# tools, no drivers) from an INDI source tarball into a prefix in the user's
# cache, once: a later call with the same tarball finds the prefix ready and
# only prints it. INDI's CCD simulator is built beside it from the same
# source for the driver benchmark. The tarball is only read; it is unpacked
# into the cache.
#
#   scripts/build-indi2.sh /path/to/indi-2.2.4.2.tar.xz
#
# Prints the prefix as its last line of output; the build's own output goes
# to a log in the cache.
set -euo pipefail

tarball=${1:?usage: build-indi2.sh INDI-SOURCE-TARBALL}
if [[ ! -r "$tarball" ]]; then
  echo "build-indi2.sh: cannot read $tarball" >&2
  exit 1
fi
tarball=$(realpath "$tarball")

name=$(basename "$tarball")
name=${name%.tar.*}
hash=$(sha256sum "$tarball" | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/stellacq
prefix=$cache/$name-$hash
mkdir -p "$cache"

# One build at a time per prefix; a second caller waits and then reuses it.
exec 9>"$prefix.lock"
flock 9
if [[ -f "$prefix/.complete" ]]; then
  echo "$prefix"
  exit 0
fi

work=$prefix.work
log=$prefix.log
rm -rf "$work" "$prefix"
mkdir -p "$work/src"
echo "Building $name's core into $prefix (once; log: $log)" >&2
jobs=$(nproc)
{
  tar -xf "$tarball" -C "$work/src" --strip-components=1
  cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_RPATH="$prefix/lib" \
    -DINDI_BUILD_DRIVERS=OFF -DINDI_BUILD_STATIC=OFF -DINDI_BUILD_XISF=OFF \
    -DINDI_BUILD_EXAMPLES=OFF -DINDI_INSTALL_UDEV_RULES=OFF -DINDI_BUILD_QT_CLIENT=OFF
  cmake --build "$work/build" -j"$jobs"
  cmake --install "$work/build"

  # The CCD simulator: two sources against the installed core.
  ccd=$work/src/drivers/ccd
  "${CXX:-c++}" -O2 -std=c++17 -DUSE_EQUATORIAL_PE -I"$prefix/include/libindi" \
    -I"$work/build" -I"$work/src/libs/indibase" -I"$work/src/libs" \
    "$ccd/ccd_simulator.cpp" "$ccd/sky_renderer.cpp" -o "$prefix/bin/indi_simulator_ccd" \
    -L"$prefix/lib" -Wl,-rpath,"$prefix/lib" -lindidriver -lnova -lcfitsio -lz -lpthread
} >"$log" 2>&1 || {
  echo "build-indi2.sh: building $name failed; the end of $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
}
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
