#!/usr/bin/env bash
# Each manual page reads without a warning from man, and names every option
# its program's usage lists, so that a new option cannot go undocumented.
#   man_pages_test.sh MAN_DIR PAGE=PROGRAM ... PAGE
# A PAGE without a program (the INDI driver, which has no options of its
# own) is only read.
set -uo pipefail
man_dir=$1
shift
failed=0
for pair in "$@"; do
  page=${pair%%=*}
  file=$man_dir/$page.1
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null)
  if [[ -n $warnings ]]; then
    echo "$page.1: man warns: $warnings"
    failed=1
  fi
  [[ $pair == *=* ]] || continue
  program=${pair#*=}
  # The usage goes to the standard output on --help, or to the standard
  # error of a program that takes no --help.
  # No display: the usage must come before any window is made.
  usage=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1 </dev/null)
  status=$?
  if ((status > 2)); then
    echo "$page: $program --help ended with status $status: $usage"
    failed=1
  fi
  options=$(grep -oE -- '(^|[ [,])--?[a-z][a-z-]+' <<<"$usage" | grep -oE -- '--?[a-z][a-z-]+' | sort -u)
  if [[ -z $options ]]; then
    echo "$page: $program --help lists no option: $usage"
    failed=1
  fi
  text=$(sed 's/\\-/-/g' "$file")
  for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$text" || {
      echo "$page.1 does not name $option, which $program --help lists"
      failed=1
    }
  done
done
if ((failed)); then
  echo "0 passed, 1 failed"
  exit 1
fi
echo "manual pages: $# read, their options named"
