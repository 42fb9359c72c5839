#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# With CI=true (or --sanitizers) the engine tests also run under
# ThreadSanitizer and AddressSanitizer, each in a build of its own; with
# CI=true the fuzz targets then run for 60 s each (scripts/fuzz.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sanitizers=0
if [ "${CI:-}" = "true" ] || [ "${1:-}" = "--sanitizers" ]; then
  sanitizers=1
fi
export QT_QPA_PLATFORM=offscreen

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest --output-on-failure)

if [ "$sanitizers" = 1 ]; then
  for kind in thread address; do
    echo "== engine tests under the ${kind} sanitizer =="
    "$root/scripts/build.sh" "$root/build-$kind" -DZORVANE_SANITIZE=$kind -DZORVANE_BUILD_GUI=OFF \
      -DCMAKE_BUILD_TYPE=Debug
    (cd "$root/build-$kind" && ctest --output-on-failure -L engine)
  done
fi

# CI only: no byte sequence may crash or hang the reader or the engine.
if [ "${CI:-}" = "true" ]; then
  echo "== fuzz targets, 60 s each =="
  "$root/scripts/fuzz.sh" 60
fi
