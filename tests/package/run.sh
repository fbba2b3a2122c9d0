#!/usr/bin/env bash
# Installs the project into a scratch prefix and builds programs outside it against what is
# installed: a consumer of the internal headers (static library), and a C++17 consumer of the
# public header against the static library and against the shared one, through the CMake
# package and through pkg-config. The shared library is built in a build tree of its own
# beside this one (kept, so that later runs only rebuild what changed). Every consumer runs on
# the song file and must print the same line, which this script prints once.
set -euo pipefail
build_dir=$1
source_dir=$2
song=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/static" >/dev/null
test -x "$work/static/bin/scqinfo"
test -f "$work/static/share/man/man1/scqinfo.1"
test -f "$work/static/share/man/man1/scqconvert.1"
test -f "$work/static/include/scq/export/MidiWriter.h"
test -f "$work/static/include/scq/scq.h"
test -f "$work/static/include/scq/version.h"
libdir=$(cd "$work/static" && dirname "$(find . -name libscq.a)")
test -f "$work/static/$libdir/pkgconfig/scq.pc"
# scqconvert is built when the command-line library is there; then it is installed too.
if [ -x "$build_dir/tools/scqconvert" ]; then test -x "$work/static/bin/scqconvert"; fi
# The Python module, when it is built: installed with its stubs where the system's Python
# finds packages of this prefix, and importable from there.
if compgen -G "$build_dir/python/module/scq*.so" >/dev/null; then
    site=$(dirname "$(find "$work/static" -name 'scq*.so')")
    test -f "$site/scq.pyi"
    case "$site" in */dist-packages) ;; *) echo "module installed in $site" >&2; exit 1 ;; esac
    PYTHONPATH="$site" /usr/bin/python3 -c 'import scq, sys; sys.exit(scq.load(sys.argv[1]).status != 0)' "$song"
fi

# The internal headers, static library.
cmake -S "$source_dir/tests/package/consumer" -B "$work/internal" \
    -DCMAKE_PREFIX_PATH="$work/static" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/internal" >/dev/null
"$work/internal/consumer" "$song" >"$work/internal.out"

# The shared library: its own build tree, the tools and tests left out.
shared_build="$build_dir/package-shared"
launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
cmake -S "$source_dir" -B "$shared_build" -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release \
    -DSCQ_BUILD_TESTS=OFF -DSCQ_PYTHON=OFF -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON \
    -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" >/dev/null
cmake --build "$shared_build" -j 2 >/dev/null
cmake --install "$shared_build" --prefix "$work/shared" >/dev/null
so=$(find "$work/shared" -name 'libscq.so.*.*')
test -n "$so"
test "$(readlink "$(dirname "$so")/libscq.so")" = "libscq.so.1"
# The shared library exports the public API and nothing of the internals. (Outputs are read
# whole before they are searched: `grep -q` ends a pipe early, which pipefail counts a failure.)
symbols=$(nm -D --defined-only "$so" | c++filt)
if grep -q 'scq::LoadSongFile' <<<"$symbols"; then
    echo "libscq.so exports internal symbols" >&2
    exit 1
fi
grep -q 'scq::SongFile::open' <<<"$symbols"

for kind in static shared; do
    cmake -S "$source_dir/tests/package/public" -B "$work/public-$kind" \
        -DCMAKE_PREFIX_PATH="$work/$kind" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$work/public-$kind" >/dev/null
    "$work/public-$kind/consumer" "$song" >"$work/public-$kind.out"
    # The same program through pkg-config, as a C++17 build by hand.
    pc_dir=$(dirname "$(find "$work/$kind" -name scq.pc)")
    static_flag=()
    if [ "$kind" = static ]; then static_flag=(--static); fi
    read -r -a flags <<<"$(PKG_CONFIG_PATH="$pc_dir" pkg-config "${static_flag[@]}" --cflags --libs scq)"
    c++ -std=c++17 -Wall -Werror "$source_dir/tests/package/public/main.cpp" "${flags[@]}" \
        -o "$work/pc-$kind"
    LD_LIBRARY_PATH="$(dirname "$(find "$work/$kind" -name 'libscq.*' | head -n 1)")" \
        "$work/pc-$kind" "$song" >"$work/pc-$kind.out"
done
grep -q 'libscq.so.1' <<<"$(ldd "$work/pc-shared")"
if grep -q 'libscq' <<<"$(ldd "$work/pc-static")"; then exit 1; fi

# The same line from every consumer (the public ones add the library's version).
for out in public-static public-shared pc-static pc-shared; do
    cmp -s "$work/public-static.out" "$work/$out.out" || { echo "$out differs" >&2; exit 1; }
done
line=$(cat "$work/internal.out")
test "$(cat "$work/public-static.out")" = "$line|1.75"
echo "$line"
