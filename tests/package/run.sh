#!/usr/bin/env bash
# Installs the project into a scratch prefix, builds a small consumer against the installed
# CMake package and runs it on a song file.
set -euo pipefail
build_dir=$1
source_dir=$2
song=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/scqinfo"
test -f "$work/prefix/share/man/man1/scqinfo.1"
test -f "$work/prefix/share/man/man1/scqconvert.1"
test -f "$work/prefix/include/scq/export/MidiWriter.h"
# scqconvert is built when the command-line library is there; then it is installed too.
if [ -x "$build_dir/tools/scqconvert" ]; then test -x "$work/prefix/bin/scqconvert"; fi
cmake -S "$source_dir/tests/package/consumer" -B "$work/build" \
    -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" >/dev/null
"$work/build/consumer" "$song"
