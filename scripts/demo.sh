#!/usr/bin/env bash
# The main job, end to end, in a private environment that this script starts
# and stops itself: labels a few files with macctl and lists them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
bin=$root/build/bin

demo=$(mktemp -d /tmp/tintwell-demo.XXXXXX)
trap 'rm -rf "$demo"' EXIT
export HOME=$demo/home XDG_RUNTIME_DIR=$demo/run XDG_CONFIG_HOME=$demo/home/.config
mkdir -p "$HOME/Desktop" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

work=$HOME/Desktop/project
mkdir -p "$work/Folder"
touch "$work/notes.txt" "$work/plan.txt"
echo "Labelling three items in $work"
"$bin/macctl" label --set 6 "$work/notes.txt" "$work/Folder"
"$bin/macctl" label --set 2 "$work/plan.txt"
"$bin/macctl" label "$work/notes.txt" "$work/plan.txt" "$work/Folder"
