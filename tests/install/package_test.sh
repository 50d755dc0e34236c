#!/usr/bin/env bash
# The Debian package: scripts/package makes it from the build tree; its contents, control fields,
# lintian, the AppStream file, the desktop entry and the manual pages are checked; then the
# packaged program is started as its desktop entry does, under Xvfb with a tray host, until its
# icon is docked.
#
# On a disposable machine (root, and CI=true or WAVELARK_DISPOSABLE_MACHINE=1) the package is
# installed with apt-get, the installed program is started and the package removed again.
# Elsewhere nothing is installed: the program runs from the unpacked package instead.
#
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=120 wavelark >/dev/null 2>&1 || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { printf '%s (%d ms)\n' "$*" $(( ($(date +%s%N) - started) / 1000000 )); }
started=$(date +%s%N)

out=$("$repo/scripts/package" --build-dir "$build" --output "$tmp/dist") || fail "scripts/package failed"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
deb=$tmp/dist/wavelark_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb; scripts/package said: $out"
step "built $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

# --- contents ------------------------------------------------------------------------------------
dpkg-deb -x "$deb" "$tmp/root"
dpkg-deb -e "$deb" "$tmp/control"
for file in usr/bin/wavelark usr/bin/wavelark-pack \
            usr/libexec/wavelark/wavelark usr/libexec/wavelark/wavelark-webview \
            usr/libexec/wavelark/libwavelark_webengine.so \
            usr/share/wavelark/Interface/radio.int \
            usr/share/applications/wavelark.desktop \
            usr/share/metainfo/org.wavelark.Wavelark.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/wavelark.svg \
            usr/share/icons/hicolor/symbolic/apps/wavelark-symbolic.svg \
            usr/share/man/man1/wavelark.1.gz usr/share/man/man1/wavelark-pack.1.gz \
            usr/share/doc/wavelark/copyright usr/share/doc/wavelark/changelog.gz; do
  [ -f "$tmp/root/$file" ] || fail "$file is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$tmp/root/usr/share/icons/hicolor/${size}x${size}/apps/wavelark.png
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "the ${size}x${size} icon has another size"
done
# Nothing outside /usr, no shared object in bin/, the plugin not executable, the binaries stripped.
outside=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '^\./usr/' | grep -v '^\./$' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
! ls "$tmp/root/usr/bin" | grep -q '\.so' || fail "a shared object in /usr/bin"
[ ! -x "$tmp/root/usr/libexec/wavelark/libwavelark_webengine.so" ] || fail "the plugin is executable"
for binary in usr/libexec/wavelark/wavelark usr/bin/wavelark-pack; do
  file "$tmp/root/$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done

# --- control fields ------------------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = wavelark ] && [ "$(field Version)" = "$version" ] && [ "$(field Architecture)" = "$arch" ] \
  || fail "package name, version or architecture wrong: $(field Package) $(field Version) $(field Architecture)"
depends=$(field Depends)
for needed in gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad \
              libsoup2.4-1 qt6-qpa-plugins libqt6webenginewidgets6 libgstreamer1.0-0 libcurl4; do
  grep -qE "(^|, )$needed( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q 'gstreamer1.0-libav' <<<"$(field Recommends)" || fail "does not recommend gstreamer1.0-libav"
step "contents and control fields"

# --- Debian's and the desktop's checks -----------------------------------------------------------
lintian_status=0
lintian --fail-on error --display-level '>=warning' "$deb" >"$tmp/lintian.log" 2>&1 || lintian_status=$?
# (lintian's remark that it runs as root is no finding.)
lintian_out=$(grep -v 'running with root privileges' "$tmp/lintian.log" || true)
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors:
$lintian_out"
echo "lintian: ${lintian_out:-no errors, no warnings}"
step "lintian"
metainfo=$tmp/root/usr/share/metainfo/org.wavelark.Wavelark.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo file"
desktop-file-validate "$tmp/root/usr/share/applications/wavelark.desktop" \
  || fail "desktop-file-validate rejects the entry"
[ "$(sed -n 's/^Exec=//p' "$tmp/root/usr/share/applications/wavelark.desktop")" = '"/usr/bin/wavelark"' ] \
  || fail "the entry does not start /usr/bin/wavelark"
# The newest release in the metainfo file and in the changelog is the package's version.
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the metainfo's newest release is $newest, the package $version"
[ "$(zcat "$tmp/root/usr/share/doc/wavelark/changelog.gz" | head -n 1 | sed 's/^wavelark (\([^)]*\)).*/\1/')" = "$version" ] \
  || fail "the changelog's newest entry is not $version"
# The screenshots the metainfo file describes are the rendered ones, at their real sizes.
while read -r width height name; do
  shot=$tmp/dist/screenshots/$name
  [ -f "$shot" ] || fail "no screenshot $name"
  [ "$(identify -format '%wx%h' "$shot")" = "${width}x${height}" ] \
    || fail "$name is $(identify -format '%wx%h' "$shot"), the metainfo file says ${width}x${height}"
done < <(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">.*/\([^/<]*\)</image>.*|\1 \2 \3|p' "$metainfo")
for page in wavelark wavelark-pack; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tmp/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page(1) has formatting problems: $warnings"
done
step "appstreamcli, desktop entry, manual pages"

# --- the program, started as the desktop entry does ----------------------------------------------
home=$tmp/home
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ] && { [ "${CI:-}" = true ] || [ "${WAVELARK_DISPOSABLE_MACHINE:-}" = 1 ]; }; then
  if dpkg-query -W -f='${Status}' wavelark 2>/dev/null | grep -q 'install ok installed'; then
    fail "a wavelark package is installed already; this test does not replace it"
  fi
  installed=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=120 "$deb" >"$tmp/apt.log" 2>&1 \
    || { cat "$tmp/apt.log" >&2; fail "apt-get could not install the package"; }
  step "installed with apt-get"
  python3 "$repo/tests/install/tray_start.py" /usr/bin/wavelark "$home"
  [ "$(readlink -f "$home/.local/share/wavelark/Interface/radio.int")" = /usr/share/wavelark/Interface/radio.int ] \
    || fail "the working folder's archive does not lead to the installed one"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=120 wavelark >"$tmp/apt.log" 2>&1 \
    || { cat "$tmp/apt.log" >&2; fail "apt-get could not remove the package"; }
  installed=0
  [ ! -e /usr/bin/wavelark ] && [ ! -e /usr/libexec/wavelark ] || fail "files left after removal"
  step "started the installed program to its tray icon, removed the package"
else
  # The unpacked tree has the installed layout; the launcher finds everything relative to itself.
  python3 "$repo/tests/install/tray_start.py" "$tmp/root/usr/bin/wavelark" "$home"
  [ "$(readlink -f "$home/.local/share/wavelark/Interface/radio.int")" = "$tmp/root/usr/share/wavelark/Interface/radio.int" ] \
    || fail "the working folder's archive does not lead to the packaged one"
  step "started the unpacked program to its tray icon (not installed: not a disposable machine)"
fi
