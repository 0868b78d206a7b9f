#!/usr/bin/env bash
# Runs the front-end test program under a virtual X server with a window manager.
set -euo pipefail
binary=$1; shift
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory LANG=C.UTF-8
# The toolkit's own libraries keep allocations for the life of the process.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c 'openbox >/dev/null 2>&1 & sleep 0.5; "$0" "$@"' "$binary" "$@"
