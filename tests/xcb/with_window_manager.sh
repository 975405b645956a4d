#!/bin/sh
# Runs a command on a private virtual X display with a real window manager
# (openbox), as a desktop would show the program: the window gets a frame and
# a title bar from the window manager, after Qt has shown it. Everything the
# window manager or the display keeps goes to a folder removed at the end.
#   with_window_manager.sh COMMAND [ARGUMENT...]
set -eu
home=$(mktemp -d)
trap 'kill $wm $display 2>/dev/null; wait 2>/dev/null; rm -rf "$home"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$home/display" 2>"$home/xvfb.log" &
display=$!
wm=
for i in $(seq 200); do [ -s "$home/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$home/display")" HOME="$home" XDG_CONFIG_HOME="$home" XDG_CACHE_HOME="$home"
openbox --sm-disable >"$home/openbox.log" 2>&1 &
wm=$!
# The window manager is ready once it names itself on the root window.
for i in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
QT_QPA_PLATFORM=xcb "$@"
