#!/bin/sh
# Makes the Wine prefix the Windows programs' tests run in, once per build tree: the
# first start of Wine fills it (about 25 s and 700 MB). Exit code 77: no Wine.
# usage: wine_prefix.sh WINE64 PREFIX
wine=$1
export WINEPREFIX=$2
[ -x "$wine" ] || { echo "no Wine (tools/install-deps --windows)"; exit 77; }
[ -f "$WINEPREFIX/system.reg" ] && exit 0
# No display: no window asks to install Wine's .NET or HTML engines (neither is needed).
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init || exit 1
# wineboot returns before the prefix is written out; the server's end waits for it.
"$(dirname "$wine")/wineserver" -w
[ -f "$WINEPREFIX/system.reg" ]
