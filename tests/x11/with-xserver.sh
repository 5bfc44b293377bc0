#!/usr/bin/env bash
# Runs a test program under a real X server with a window manager: Xvfb and openbox. Window
# frames, placement and input that the X server queues exist only there, not on the
# offscreen platform the other tests use.
set -euo pipefail
for tool in Xvfb openbox xdotool xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "with-xserver: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done
tmp=$(mktemp -d)
wm=
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
if [ ! -s "$tmp/display" ]; then
  echo "with-xserver: Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1
fi
export DISPLAY=":$(cat "$tmp/display")"
openbox --sm-disable >"$tmp/wm.log" 2>&1 &
wm=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
  echo "with-xserver: openbox did not start:" >&2; cat "$tmp/wm.log" >&2; exit 1
fi
QT_QPA_PLATFORM=xcb "$@"
