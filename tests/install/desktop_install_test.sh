#!/usr/bin/env bash
# `cmake --install` into a temporary prefix, then checks what a desktop sees: the entry passes
# desktop-file-validate, the icon is in the hicolor theme, and starting the entry's command runs
# the program in the user's working folder with the installed archive.
#
#   desktop_install_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
program=""
cleanup() {
  if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
    kill -KILL "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$tmp/log" ] && sed 's/^/  program: /' "$tmp/log" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

entry=$prefix/share/applications/wavelark.desktop
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
for file in libexec/wavelark/wavelark libexec/wavelark/wavelark-webview \
            libexec/wavelark/libwavelark_webengine.so bin/wavelark-pack \
            share/wavelark/Interface/radio.int \
            share/icons/hicolor/scalable/apps/wavelark.svg \
            share/icons/hicolor/48x48/apps/wavelark.png \
            share/gnome-shell/search-providers/wavelark-search-provider.ini \
            share/krunner/dbusplugins/wavelark-krunner.desktop; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/wavelark" ] || fail "the launcher is not installed as a program"
grep -qx 'Icon=wavelark' "$entry" || fail "the entry names another icon"
grep -qx 'Categories=AudioVideo;Audio;Player;' "$entry" || fail "the entry is not an audio player"
# The search provider names the entry and the object the program exports.
provider=$prefix/share/gnome-shell/search-providers/wavelark-search-provider.ini
grep -qx "DesktopId=$(basename "$entry")" "$provider" || fail "the search provider names another entry"
grep -qx 'ObjectPath=/org/wavelark/Wavelark/SearchProvider' "$provider" || fail "the search provider's path"
grep -qx 'X-Plasma-DBusRunner-Path=/org/wavelark/Wavelark/KRunner' \
  "$prefix/share/krunner/dbusplugins/wavelark-krunner.desktop" || fail "the runner's path"

# The command the desktop runs: Exec without its quotes (it has no field codes).
exec_line=$(sed -n 's/^Exec=//p' "$entry")
command=${exec_line#\"}
command=${command%\"}
[ "$command" = "$prefix/bin/wavelark" ] || fail "Exec is $exec_line"

# A user with no Wavelark folder yet, no desktop bus and no content server.
home=$tmp/home
mkdir -p "$home" "$tmp/runtime"
chmod 700 "$tmp/runtime"

# run_launcher FOLDER [VARIABLE=VALUE...]: starts the entry's command with the variables, waits
# until the program has written its settings in FOLDER and said it runs there, then ends it as
# a logout would and checks it ended cleanly.
run_launcher() {
  local folder=$1 status=0
  shift
  env -u WAVELARK_HOME -u XDG_DATA_HOME HOME="$home" XDG_RUNTIME_DIR="$tmp/runtime" \
    QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-bus" \
    WAVELARK_CONTENT_SERVER=http://127.0.0.1:9/ WAVELARK_AUDIO_SINK=fakesink \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$@" \
    "$command" >"$tmp/log" 2>&1 &
  program=$!
  for _ in $(seq 150); do
    [ -f "$folder/setting.dat" ] && break
    kill -0 "$program" 2>/dev/null || fail "the program ended"
    sleep 0.1
  done
  [ -f "$folder/setting.dat" ] || fail "no settings written in $folder within 15 s"
  grep -q "in $folder " "$tmp/log" || fail "the program did not run in $folder"
  kill -0 "$program" 2>/dev/null || fail "the program ended"

  kill -TERM "$program"
  for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program" 2>/dev/null && fail "the program did not end on SIGTERM"
  wait "$program" || status=$?
  program=""
  [ "$status" -eq 0 ] || fail "exit status $status"
}

folder=$home/.local/share/wavelark
run_launcher "$folder"
[ "$(readlink -f "$folder/Interface/radio.int")" = "$(readlink -f "$prefix/share/wavelark/Interface/radio.int")" ] \
  || fail "Interface/radio.int does not lead to the installed archive"

# A folder of the user's choice whose archive the user put there: it is used and kept.
own=$tmp/own
mkdir -p "$own/Interface"
cp "$prefix/share/wavelark/Interface/radio.int" "$own/Interface/radio.int"
printf 'mine' >>"$own/Interface/radio.int"
before=$(sha256sum <"$own/Interface/radio.int")
run_launcher "$own" WAVELARK_HOME="$own"
[ -f "$own/Interface/radio.int" ] && [ ! -L "$own/Interface/radio.int" ] \
  || fail "the user's own archive was replaced by a link"
[ "$(sha256sum <"$own/Interface/radio.int")" = "$before" ] || fail "the user's own archive changed"
echo "installed entry valid; the launcher ran the program in $folder and in $own"
