#!/usr/bin/env bash
# Builds examples/zvc450usb-list against an installed device library, once
# with its CMake package and once with pkg-config, and runs both against an
# emulated player holding a file put there with the command-line tool.
#
#   consumer_test.sh [--stage BUILD_DIR] SOURCE_DIR WORK_DIR ZVC450 ZVC450_EMU
#
# Without --stage the library is the system's (an installed package). With
# it, the library and its development files of the build are first installed
# into WORK_DIR/stage (DESTDIR) and the build and the run look there.
set -euo pipefail
stage_from=""
if [ "${1:-}" = "--stage" ]; then stage_from=$2; shift 2; fi
src=$1 work=$2 tool=$3 emu=$4
cmake=${CMAKE:-cmake}

rm -rf "$work"
mkdir -p "$work"
emu_pid=""
cleanup() {
  if [ -n "$emu_pid" ]; then kill "$emu_pid" 2>/dev/null || true; wait "$emu_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

cmake_args=()
if [ -n "$stage_from" ]; then
  stage=$work/stage
  for component in library development; do
    DESTDIR=$stage "$cmake" --install "$stage_from" --component "$component" >"$work/install.log"
  done
  pc=$(find "$stage" -name zvc450usb.pc -print -quit)
  libdir=$(dirname "$(dirname "$pc")")
  export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
  export PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$stage
  cmake_args=(-DZVC450USB_DIR="$(dirname "$(find "$stage" -name ZVC450USBConfig.cmake -print -quit)")")
fi

echo "== CMake package"
"$cmake" -S "$src/examples/zvc450usb-list" -B "$work/cmake" "${cmake_args[@]}" >"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log"; exit 1; }
"$cmake" --build "$work/cmake" >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 1; }

echo "== pkg-config: $(pkg-config --modversion zvc450usb)"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$src/examples/zvc450usb-list/list.c" $(pkg-config --cflags --libs zvc450usb) \
  -o "$work/list-pkgconfig"

echo "== against the emulated player"
export ZVC450_VUSB=$work/player.sock
"$emu" --state "$work/player" --socket "$ZVC450_VUSB" 2>"$work/emu.log" &
emu_pid=$!
for _ in $(seq 100); do [ -S "$ZVC450_VUSB" ] && break; sleep 0.05; done
printf 'from the consumer test\n' >"$work/HELLO.TXT"
"$tool" --quiet put "$work/HELLO.TXT"

for program in "$work/cmake/zvc450usb-list" "$work/list-pkgconfig"; do
  out=$("$program")
  echo "$out"
  grep -q '^player: .* 1\.43$' <<<"$out" || { echo "consumer_test: $program: the player's firmware is not named" >&2; exit 1; }
  grep -Eq '^ +23 HELLO\.TXT$' <<<"$out" || { echo "consumer_test: $program: HELLO.TXT not listed" >&2; exit 1; }
done
echo "consumer_test: both builds list the player"
