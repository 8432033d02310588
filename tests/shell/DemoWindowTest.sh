#!/usr/bin/env bash
# The real program in a real X window, end to end: `crumble-rush --demo` in a copy of the
# program folder on a private Xvfb display plays by itself, a key pressed with xdotool ends it,
# it exits 0 with its log ending "OK".
#   DemoWindowTest.sh GAME_DIR
set -uo pipefail
game="$(cd "$1" && pwd)"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "DemoWindowTest: $tool is not installed (packages xvfb, xdotool)" >&2; exit 1; }
done

work="$(mktemp -d)"
xvfb=""
demo=""
cleanup() {
  [ -n "$demo" ] && kill -KILL "$demo" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "DemoWindowTest: $*" >&2; [ -f "$folder/SPS/LOG.TXT" ] && tail -5 "$folder/SPS/LOG.TXT" >&2; exit 1; }

# A program folder of its own, so the demo's saved state stays out of the build's folder.
folder="$work/game"
mkdir -p "$folder/SPS"
cp "$game/crumble-rush" "$game/mpegdll.so" "$game/l3codecx.acm" "$folder/"
cp "$game/SPS/Level1.txt" "$folder/SPS/"
ln -s "$game/gfx" "$folder/gfx"
ln -s "$game/snd" "$folder/snd"

# A free display: Xvfb names the one it took.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export SDL_AUDIODRIVER=dummy HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
# Under the sanitizers: on a real display, D-Bus and the X platform plug-in (unloaded before the
# leak check, so without symbols) keep allocations for the process's life. The headless tests
# check our own code for leaks; this one checks the window.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
mkdir -p "$HOME"

"$folder/crumble-rush" --demo >"$work/demo.log" 2>&1 &
demo=$!
window=""
for _ in $(seq 300); do
  window=$(xdotool search --name "Crumble Rush" 2>/dev/null | head -1)
  [ -n "$window" ] && break
  kill -0 "$demo" 2>/dev/null || fail "the demo ended before its window showed: $(cat "$work/demo.log")"
  sleep 0.1
done
[ -n "$window" ] || fail "no window named Crumble Rush within 30 s"

# Nobody touches a key: the demo leaves the attract screen by itself and plays.
log="$folder/SPS/LOG.TXT"
for _ in $(seq 600); do
  grep -q "glsBegin: Return" "$log" 2>/dev/null && break
  kill -0 "$demo" 2>/dev/null || fail "the demo ended by itself"
  sleep 0.1
done
grep -q "glsBegin: Return" "$log" 2>/dev/null || fail "the demo did not start a game within 60 s"
sleep 2
xdotool key --window "$window" space
for _ in $(seq 200); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demo" 2>/dev/null && fail "a key did not end the demo within 20 s"
wait "$demo"
status=$?
demo=""
[ "$status" -eq 0 ] || fail "the demo exited with $status: $(cat "$work/demo.log")"

[ "$(tail -1 "$log" | tr -d '\r')" = "OK" ] || fail "the log does not end with OK"
echo "DemoWindowTest: the demo played in a real window and a key ended it"
