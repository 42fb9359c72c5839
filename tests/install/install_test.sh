#!/usr/bin/env bash
# Installs this build into a staging folder (DESTDIR, prefix /usr) as the
# Debian package does, and checks what a user's system would get: the desktop
# entry and the AppStream metadata pass their validators, exactly the
# expected files land, the manual page and the bash completion know every
# option of the tool, the installed zorvane-convert converts a file, and no
# installed program holds a path into the build tree.
#   install_test.sh SOURCE_DIR BUILD_DIR MAKE_TONE
set -euo pipefail
source_dir=$1
build_dir=$2
make_tone=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/stage"
usr="$stage/usr"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The files themselves, before anything is installed.
desktop-file-validate "$source_dir/resources/zorvane.desktop" || fail "desktop-file-validate"
metainfo="$build_dir/install/com.quenlor.Zorvane.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"

DESTDIR="$stage" cmake --install "$build_dir" --prefix /usr --strip >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install"; }

# Exactly these files, so that neither a missing one nor a test program or
# build leftover that slipped into the rules goes unseen.
expected='^usr/bin/zorvane$
^usr/bin/zorvane-convert$
^usr/share/applications/zorvane\.desktop$
^usr/share/icons/hicolor/scalable/apps/zorvane\.svg$
^usr/share/icons/hicolor/[0-9]+x[0-9]+/apps/zorvane\.png$
^usr/share/metainfo/com\.quenlor\.Zorvane\.metainfo\.xml$
^usr/share/doc/zorvane/help/index\.html$
^usr/share/doc/zorvane/copyright$
^usr/share/doc/zorvane/changelog\.gz$
^usr/share/man/man1/zorvane\.1\.gz$
^usr/share/man/man1/zorvane-convert\.1\.gz$
^usr/share/bash-completion/completions/zorvane-convert$'
installed=$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | sort)
unexpected=$(grep -vE "$expected" <<<"$installed" || true)
[ -z "$unexpected" ] || fail "unexpected files installed: $unexpected"
while IFS= read -r pattern; do
  grep -qE "$pattern" <<<"$installed" || fail "not installed: $pattern"
done <<<"$expected"
for size in 16 24 32 48 64 128 256; do
  [ -s "$usr/share/icons/hicolor/${size}x${size}/apps/zorvane.png" ] || fail "no ${size}x${size} icon"
done

# The installed entry starts an installed program and names an installed icon.
entry="$usr/share/applications/zorvane.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate (installed)"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "Icon=$icon_name not installed"
# The metadata's launchable is the installed entry, and the tree as a whole passes.
grep -q '<launchable type="desktop-id">zorvane.desktop</launchable>' \
  "$usr/share/metainfo/com.quenlor.Zorvane.metainfo.xml" || fail "metainfo launchable"
appstreamcli validate-tree --no-net "$usr" || fail "appstreamcli validate-tree"

convert="$usr/bin/zorvane-convert"
"$convert" --help >"$work/help.txt" || fail "installed zorvane-convert --help"
grep -q '^Usage: zorvane-convert' "$work/help.txt" || fail "--help prints no usage"

# Every option that --help names is in the manual page and in the completion.
man_text=$(gzip -dc "$usr/share/man/man1/zorvane-convert.1.gz" | sed 's/\\-/-/g') ||
  fail "manual page is not gzip"
grep -q '^\.TH ZORVANE-CONVERT 1' <<<"$man_text" || fail "manual page has no .TH line"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' FILES EXAMPLES; do
  grep -qx "\.SH $section" <<<"$man_text" || fail "manual page has no section $section"
done
completion="$usr/share/bash-completion/completions/zorvane-convert"
bash -n "$completion" || fail "bash completion does not parse"
options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' "$work/help.txt" | tr -d ' ,' | sort -u)
[ "$(wc -l <<<"$options")" -ge 12 ] || fail "too few options found in --help: $options"
for option in $options; do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$man_text" || fail "manual page lacks $option"
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$completion" || fail "completion lacks $option"
done
# The exit statuses that --help gives are each explained.
for status in 0 1 2 130; do
  grep -qx "\.B $status" <<<"$man_text" || fail "manual page lacks exit status $status"
done

# A conversion with the installed tool, with settings of its own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
"$make_tone" "$work/tone.mp3" 2 44100 2 440 -12 >/dev/null
"$convert" --speed 150 --out "$work/out" "$work/tone.mp3" >"$work/convert.log" 2>&1 ||
  { cat "$work/convert.log" >&2; fail "installed zorvane-convert did not convert"; }
[ -s "$work/out/tone.mp3" ] || fail "no output file"
[ -f "$XDG_CONFIG_HOME/Zorvane/Config.ini" ] || fail "Config.ini not under XDG_CONFIG_HOME"

# Nothing installed may point into the build tree (a compiled-in fallback
# folder, an RPATH); the source tree holds the build tree, so check both.
for file in "$usr/bin/zorvane" "$usr/bin/zorvane-convert"; do
  for tree in "$build_dir" "$source_dir"; do
    if strings -a "$file" | grep -F "$tree"; then
      fail "$file names $tree"
    fi
  done
done
if readelf -d "$usr/bin/zorvane" "$usr/bin/zorvane-convert" | grep -E 'RPATH|RUNPATH'; then
  fail "an installed program has an RPATH"
fi

if [ "$failures" -ne 0 ]; then
  echo "install: $failures check(s) failed" >&2
  exit 1
fi
echo "install: every check passed"
