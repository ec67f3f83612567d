#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks that it installs
# on a machine without development packages: it depends on runtime packages
# only, the engine plug-ins it loads are files those packages ship, and it
# carries the program with its desktop integration.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/morvel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"

# Runtime packages only.
# (here-strings, not pipes into grep -q: with pipefail an early grep exit
# would fail the writer and the check with it)
if tr ',' '\n' <<<"$depends" | grep -E -- '-dev( |$)'; then
  fail "depends on a development package"
fi
for wanted in libogre1.12.10 libcegui-mk2-0.8.7 fonts-dejavu-core fonts-wqy-microhei; do
  grep -q "$wanted" <<<"$depends" || fail "does not depend on $wanted"
done

# What is installed.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/morvel ./usr/bin/morvel-cli ./usr/share/morvel/Plugins.cfg \
    ./usr/share/applications/morvel.desktop ./usr/share/mime/packages/morvel.xml \
    ./usr/share/thumbnailers/morvel.thumbnailer ./usr/share/icons/hicolor/scalable/apps/morvel.svg; do
  grep -qx "$path" <<<"$contents" || fail "missing $path"
done

# Each plug-in the packaged Plugins.cfg names is, under the engine's
# versioned name, a file of a package the .deb depends on.
dpkg-deb -x "$deb" "$work/root"
cfg="$work/root/usr/share/morvel/Plugins.cfg"
folder=$(sed -n 's/^PluginFolder=//p' "$cfg")
plugins=$(sed -n 's/^Plugin=//p' "$cfg")
[ -n "$plugins" ] || fail "Plugins.cfg names no plug-in"
for plugin in $plugins; do
  versioned=("$folder/$plugin".so.[0-9]*)
  found=${versioned[0]}
  [ -e "$found" ] || fail "no versioned file for $plugin in $folder"
  owner=$(dpkg -S "$found" | cut -d: -f1)
  case "$owner" in *-dev) fail "$found comes from $owner" ;; esac
  grep -q "$owner" <<<"$depends" || fail "$found comes from $owner, which the package does not depend on"
  echo "$plugin: $found ($owner)"
done
echo "1 passed, 0 failed"
