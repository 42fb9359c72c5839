#!/usr/bin/env bash
# Builds the Debian package of Zorvane and checks it.
#   scripts/package.sh
# Installs what is missing (scripts/install-deps.sh --package), configures a
# Release build for the prefix /usr in build-package/ with Debian's hardening
# flags, builds it, makes the .deb with CPack (Depends computed by
# dpkg-shlibdeps), runs lintian on it and prints the package's path, size
# and Depends line. Install it with
#   sudo apt-get install ./build-package/zorvane_<version>_<arch>.deb
# Exit status 1 when lintian finds an error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-package"

"$root/scripts/install-deps.sh" --package

# The flags Debian builds its own packages with (stack protector, fortified
# functions, read-only relocations, immediate binding); -ffile-prefix-map
# keeps the source folder's path out of the programs.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

echo "== building a Release build for /usr into $build =="
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZORVANE_BUILD_GUI=ON -DZORVANE_BUILD_TESTS=OFF -DZORVANE_SANITIZE= -DZORVANE_FUZZ=OFF \
  "-DCMAKE_C_FLAGS=$cflags" "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
  >/dev/null
cmake --build "$build" --parallel "$(nproc)"

echo "== making the package =="
rm -f "$build"/zorvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/zorvane_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || {
  echo "cpack made no package; see $build/_CPack_Packages" >&2
  exit 1
}

echo "== lintian =="
status=0
lintian --fail-on error --display-info "$deb" || status=$?
[ "$status" = 0 ] && echo "lintian: no errors"

echo "== package =="
echo "file:    $deb"
echo "size:    $(du -h "$deb" | cut -f1) ($(stat -c %s "$deb") bytes)"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
exit $((status != 0))
