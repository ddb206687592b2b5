#!/usr/bin/env bash
# Installs a build into a scratch prefix, then builds and runs a small C
# program against the installed library: with pkg-config, and with CMake's
# find_package. Usage: check.sh BUILD_DIR CC "C_FLAGS"
set -euo pipefail
build=$1 cc=$2 flags=$3
here=$(cd "$(dirname "$0")" && pwd)
prefix=$build/install-check
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix/root" >/dev/null
"$prefix/root/bin/qvxeffect" --version
libdir=$(dirname "$(find "$prefix/root" -name 'libQvxEffect.so' | head -1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2086
"$cc" -std=c99 -pedantic $flags "$here/UseLibrary.c" $(pkg-config --cflags --libs qvxeffect) \
  -Wl,-rpath,"$libdir" -o "$prefix/use-pkgconfig"
"$prefix/use-pkgconfig"
cmake -S "$here" -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix/root" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
"$prefix/consumer/use-library"
