#!/usr/bin/env bash
# Installs Kestrova into a temporary prefix, makes the prefix read-only and
# uses it as a new user would: the checkers on the desktop files, the renderer
# on a shipped sample, and the window program started twice (answering the
# update question, closing it the way a session ends it). The user's state
# must land in the XDG folders, and the second start must carry on the intro.
# Needs a display (CTest runs under xvfb-run).
set -euo pipefail
build=$1
cmake=$2
work=$(mktemp -d)
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" > /dev/null
chmod -R a-w "$prefix"

fail() { echo "FAILED: $*" >&2; exit 1; }

# The desktop files, as the distribution's checkers read them.
desktop-file-validate "$prefix"/share/applications/*.desktop || fail "desktop-file-validate"
report=$(appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.xml 2>&1) || fail "$report"
if grep -qE '^[EWIP]:' <<< "$report"; then fail "appstreamcli: $report"; fi
for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(man --warnings -l "$page" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
[ -f "$prefix/share/icons/hicolor/48x48/apps/kestrova.png" ] || fail "no icon"

# The renderer finds its data from its own place in the prefix.
"$prefix/bin/kestrova-render" "$prefix/share/kestrova/Sequences/01 Retail Box.TSMR" \
  -o "$work/shot.png" --size 320x200 > /dev/null || fail "kestrova-render"
# Video export loads its module from the prefix's library folder.
"$prefix/bin/kestrova-render" --turntable 1 --fps 2 --size 64x48 --video "$work/spin.gif" > /dev/null ||
  fail "kestrova-render --video from the installed module"
[ -s "$work/spin.gif" ] || fail "no video written"
[ -s "$work/shot.png" ] || fail "no picture"

# The window program as a new user: nothing of theirs exists yet.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
settings="$XDG_CONFIG_HOME/Local AppWizard-Generated Applications/Kestrova.conf"

find_window() {  # name pattern; waits up to 30 s
  local id=""
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

run_once() {
  "$prefix/bin/kestrova" > "$work/kestrova.log" 2>&1 &
  local pid=$!
  # The update question comes first; Escape answers No.
  local question
  question=$(find_window '^Kestrova$') || { kill $pid; fail "no update question"; }
  xdotool windowfocus --sync "$question" key Escape
  find_window '^Go to Product Website' > /dev/null || { kill $pid; fail "no intro"; }
  sleep 0.5
  kill -TERM $pid
  wait $pid || fail "kestrova ended badly: $(cat "$work/kestrova.log")"
}

run_once
[ "$(cat "$XDG_STATE_HOME/kestrova/Flag.txt")" = "False" ] || fail "no start marker in the state folder"
grep -q '^Value=1$' "$settings" || fail "the intro position was not kept: $(cat "$settings")"
run_once
grep -q '^Value=2$' "$settings" || fail "the second start did not carry on: $(cat "$settings")"
echo "The installed Kestrova ran from a read-only prefix and kept its state in the XDG folders."
