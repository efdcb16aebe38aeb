#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the fuzzers, the
# benchmarks and the demo need. Idempotent, and quiet when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev          # fuzzers (libFuzzer) and sanitizers
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libplist-dev                      # property-list files (preferences)
  libsystemd-dev                    # sd-bus (distributed notifications)
  dbus-daemon                       # private session bus for tests and demo
  attr                              # getfattr/setfattr, used by tests and the demo
  util-linux                        # setpriv, unshare (tests as another user, private mounts)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
