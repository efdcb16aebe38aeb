#!/usr/bin/env bash
# The main job, end to end, in a private environment that this script starts
# and stops itself: the stand-in Finder selects a few items, `twhelper 6`
# labels them, and `twhelper -s` publishes what the selection holds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
bin=$root/build/bin

demo=$(mktemp -d /tmp/tintwell-demo.XXXXXX)
bus_pid="" finder_pid="" server_pid="" listener_pid=""
cleanup() {
  set +e
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$listener_pid" ] && kill "$listener_pid" 2>/dev/null && wait "$listener_pid" 2>/dev/null
  if [ -n "$finder_pid" ] && kill -0 "$finder_pid" 2>/dev/null; then
    "$bin/macctl" quit Finder >/dev/null 2>&1 || kill "$finder_pid" 2>/dev/null
    wait "$finder_pid" 2>/dev/null
  fi
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$demo"
}
trap cleanup EXIT

export HOME=$demo/home XDG_RUNTIME_DIR=$demo/run XDG_CONFIG_HOME=$demo/home/.config
export XDG_DESKTOP_DIR=$HOME/Desktop
mkdir -p "$XDG_DESKTOP_DIR" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

# Polls a command until it succeeds; gives up after 20 s.
wait_for() {
  local i
  for i in $(seq 200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "demo: gave up waiting for: $*" >&2
  return 1
}

# Label names and colours: the system's modern labels, 1 to 7.
names=(None Gray Green Purple Blue Yellow Red Orange)
rgb=("" "168;168;168" "179;217;85" "193;141;216" "98;165;249" "249;214;73" "252;101;89" "247;162;69")
basic=("" 37 32 35 34 33 31 33)
colour=no
if [ -t 1 ] && [ "$(tput colors 2>/dev/null || echo 0)" -ge 8 ]; then
  colour=basic
  case "${COLORTERM:-}" in truecolor | 24bit) colour=true ;; esac
fi
label_text() {
  local n=$1 text="$1 ${names[$1]}"
  if [ "$n" -eq 0 ] || [ "$colour" = no ]; then
    printf '%s' "$text"
  elif [ "$colour" = true ]; then
    printf '\033[1;38;2;%sm%s\033[0m' "${rgb[$n]}" "$text"
  else
    printf '\033[1;%sm%s\033[0m' "${basic[$n]}" "$text"
  fi
}
show_labels() {
  local label path
  "$bin/macctl" label "$@" | while IFS=$'\t' read -r label path; do
    printf '    %-12s %s\n' "${path#"$work"/}" "$(label_text "$label")"
  done
}

echo "== A private session: its own session bus, runtime folder and Finder (finderd)"
bus_pid=$(dbus-daemon --session --address="unix:path=$demo/bus" --fork --print-pid)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$demo/bus
"$bin/finderd" &
finder_pid=$!
wait_for sh -c "'$bin/macctl' ps | grep -q ' Finder\$'"

work=$XDG_DESKTOP_DIR/Demo
mkdir -p "$work/Archive"
echo "quarterly figures" >"$work/Report.txt"
echo "jpeg" >"$work/Photo.jpg"
echo "1,2,3" >"$work/Budget.csv"
"$bin/macctl" notify listen com.tolvane.tintwell >"$demo/notes" &
listener_pid=$!
wait_for sh -c "'$bin/macctl' notify post com.tolvane.tintwell ready; grep -q ready '$demo/notes'"

echo
echo "== Select Report.txt, Photo.jpg and the folder Archive in the Finder, then: twhelper 6"
"$bin/macctl" finder select "$work/Report.txt" "$work/Photo.jpg" "$work/Archive"
"$bin/twhelper" 6
show_labels "$work/Report.txt" "$work/Photo.jpg" "$work/Archive" "$work/Budget.csv"
wait_for grep -q set-label "$demo/notes"
echo "    the Finder was asked to redraw $("$bin/macctl" finder updates | wc -l) items;" \
  "other processes heard: $(grep set-label "$demo/notes" | cut -f2)"

echo
echo "== twhelper -s in the background; select Photo.jpg and Budget.csv, label Budget.csv 4"
"$bin/twhelper" -s 2>"$demo/server.err" &
server_pid=$!
"$bin/macctl" finder select "$work/Photo.jpg" "$work/Budget.csv"
"$bin/macctl" label --set 4 "$work/Budget.csv" >/dev/null
show_labels "$work/Photo.jpg" "$work/Budget.csv"

# The snapshot: nine 32-bit words in the machine's byte order (little-endian
# here): labels 0 to 7 present, then writable.
word() { # word HEX INDEX
  local w=${1:$(($2 * 8)):8}
  echo $((16#${w:6:2}${w:4:2}${w:2:2}${w:0:2}))
}
snapshot_has() { # snapshot_has LABEL...: the snapshot holds exactly these labels
  local hex i want
  hex=$("$bin/macctl" scrap com.tolvane.tintwell | awk '$1 == "'"'xyu!'"'" && $2 == 36 { print $3 }')
  [ -n "$hex" ] || return 1
  for i in 0 1 2 3 4 5 6 7; do
    want=0
    for l in "$@"; do [ "$l" -eq "$i" ] && want=1; done
    [ "$(word "$hex" "$i")" -eq "$want" ] || return 1
  done
  echo "$hex" >"$demo/snapshot"
}
wait_for snapshot_has 4 6
snapshot_has 4 6
hex=$(cat "$demo/snapshot")
present=""
for i in 0 1 2 3 4 5 6 7; do
  [ "$(word "$hex" "$i")" -eq 1 ] && present+="$(label_text "$i")  "
done
writable=no
[ "$(word "$hex" 8)" -eq 1 ] && writable=yes
echo "    snapshot in the named scrap com.tolvane.tintwell ('xyu!', 36 bytes):"
echo "    labels: $present"
echo "    writable: $writable"

echo
echo "== macctl quit twhelper"
"$bin/macctl" quit twhelper
status=0
wait "$server_pid" || status=$?
server_pid=""
echo "    twhelper -s exited with status $status; it said on standard error: $(cat "$demo/server.err")"
