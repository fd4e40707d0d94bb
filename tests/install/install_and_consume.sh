#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR, checks the installed shared
# objects, builds the program in consumer/ against the installed files twice
# (pkg-config and find_package) and runs both against the installed
# simulator on loopback: one search, one setup download each.
#   install_and_consume.sh BUILD_DIR CONSUMER_SOURCE_DIR C_COMPILER CXX_COMPILER
set -euo pipefail
build=$1
consumer=$2
cc=$3
cxx=$4

readonly prefix=/opt/zelvo   # outside the compiler's and pkg-config's system paths
readonly step_seconds=30     # bound of every step that could hang
readonly ready_polls=100     # the simulator is ready within milliseconds; 10 s bound it

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvo-install.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "install test: $*" >&2
  exit 1
}

root=$work/root
DESTDIR=$root timeout "$step_seconds" cmake --install "$build" --prefix "$prefix" >"$work/install.log" \
  || { cat "$work/install.log"; fail "cmake --install failed"; }
tree=$root$prefix

pcdir=$(dirname "$(find "$tree" -name qxxml.pc -print -quit)")
[ -d "$pcdir" ] || fail "no qxxml.pc installed"
libdir=$(dirname "$pcdir")

# Installed ELF files carry no run path (the build tree's least of all), and
# each library answers to the SONAME of its major version.
for program in zelvo-calibrator zelvo-cli zelvo-devsim; do
  [ -x "$tree/bin/$program" ] || fail "$program not installed"
  [ -f "$tree/share/man/man1/$program.1.gz" ] || fail "no man page for $program"
done
for library in qxcommon qxxml qxudps zelvoapi; do
  [ -f "$pcdir/$library.pc" ] || fail "no $library.pc"
  file=$(find "$libdir" -maxdepth 1 -name "lib$library.so.*.*" -print -quit)
  [ -n "$file" ] || fail "lib$library not installed in $libdir"
  soname=$(readelf -d "$file" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ -e "$libdir/$soname" ] || fail "lib$library has SONAME '$soname', which is not installed"
done
while IFS= read -r -d '' elf; do
  if readelf -d "$elf" 2>/dev/null | grep -E '\((RPATH|RUNPATH)\)'; then fail "$elf keeps a run path"; fi
done < <(find "$tree/bin" "$libdir" -maxdepth 1 -type f -print0)
for data in share/applications/zelvo-calibrator.desktop share/icons/hicolor/scalable/apps/zelvo-calibrator.svg \
            share/icons/hicolor/48x48/apps/zelvo-calibrator.png; do
  [ -f "$tree/$data" ] || fail "$data not installed"
done

# The pkg-config files name the install prefix; the sysroot maps it into DESTDIR.
flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs qxxml qxudps) \
  || fail "pkg-config cannot resolve qxxml qxudps"
# shellcheck disable=SC2086 # the flags are a list of words
timeout "$step_seconds" "$cc" -std=c11 -Wall -Wextra -Werror -o "$work/pc_consumer" \
  "$consumer/search_and_download.c" $flags || fail "building against the pkg-config files failed"

# The object layer's headers stand on their own among the installed ones.
zelvoapi_flags=$(PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_PATH=$pcdir pkg-config --cflags zelvoapi) \
  || fail "pkg-config cannot resolve zelvoapi"
# shellcheck disable=SC2086 # the flags are a list of words
echo '#include "sdk/zelvoapi.h"' | timeout "$step_seconds" "$cxx" -std=c++17 -fsyntax-only -x c++ $zelvoapi_flags - \
  || fail "sdk/zelvoapi.h does not compile from the installed headers"

if ! { timeout "$step_seconds" cmake -S "$consumer" -B "$work/cmake_consumer" -G Ninja -DCMAKE_C_COMPILER="$cc" \
         -DCMAKE_PREFIX_PATH="$tree" \
       && timeout "$step_seconds" cmake --build "$work/cmake_consumer"; } >"$work/cmake.log" 2>&1; then
  cat "$work/cmake.log"
  fail "building with find_package(ZelvoCalibrator) failed"
fi

"$tree/bin/zelvo-devsim" --variant hygrometer --port-base 0 --udp-port 0 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq "$ready_polls"); do
  grep -qx ready "$work/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err"; fail "the simulator stopped"; }
  sleep 0.1
done
grep -qx ready "$work/sim.out" || fail "the simulator never became ready"
read -r _ udp_address udp_port < <(grep '^udp ' "$work/sim.out")
device_name=$(sed -n 's/^device 0 [^ ]* [^ ]* //p' "$work/sim.out")

for consumer_program in "$work/pc_consumer" "$work/cmake_consumer/search_and_download"; do
  output=$(LD_LIBRARY_PATH=$libdir timeout "$step_seconds" "$consumer_program" "$udp_address" "$udp_port") \
    || { echo "$output"; fail "$consumer_program failed against the simulator"; }
  echo "$output"
  grep -qF "setup of \"$device_name\"" <<<"$output" || fail "$consumer_program did not download the setup of $device_name"
done
echo "install test: passed"
