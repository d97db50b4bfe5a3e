#!/bin/bash
# build-libsodium.sh TRIPLET: libsodium for the Windows programs and the web
# page, built from Debian's source package of the version installed for Linux
# (Debian's own patches applied), as a static library for TRIPLET
# (i686-w64-mingw32, x86_64-w64-mingw32 or wasm32-unknown-emscripten).
# Installs into build/sodium/TRIPLET/{include,lib}; does nothing when
# build/sodium/TRIPLET/lib/libsodium.a is there.
set -euo pipefail
triplet=${1:?usage: build-libsodium.sh i686-w64-mingw32|x86_64-w64-mingw32|wasm32-unknown-emscripten}
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$root/build/sodium/$triplet
[ -f "$prefix/lib/libsodium.a" ] && exit 0

case $triplet in
*-emscripten) group=web ;;
*) group=windows ;;
esac
"$root/tools/install-deps.sh" $group sodium-source
version=$(dpkg-query -W -f='${Version}' libsodium-dev)

# Each triplet in a folder of its own: two builds may run side by side.
work=$root/build/sodium/$triplet.work
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "Building libsodium $version for $triplet (a few minutes; log: $work/build.log)"
log=$work/build.log
trap '[ $? -eq 0 ] || { tail -n 30 "$log" >&2; echo "build-libsodium.sh: failed, see $log" >&2; }' EXIT
# apt checks the files against the signed index; dpkg-source then applies
# Debian's patches without looking for a keyring.
apt-get source --download-only -qq "libsodium=$version" >"$log" 2>&1
dpkg-source --no-check -x libsodium_*.dsc source >>"$log" 2>&1
cd source
# No stack protector: its run-time support is in neither the mingw-w64 runtime
# nor Emscripten's. For WebAssembly the flags of libsodium's own
# dist-build/emscripten.sh: Emscripten's wrappers pick the compiler, no
# assembly, no threads; optimised for speed, as the key derivation is the
# page's one long computation.
# A cross build throughout: configure then runs none of its test programs
# (Emscripten's would need a node whose fetch takes paths).
options=(--host="$triplet" --prefix="$prefix" --disable-shared --enable-static --disable-ssp
         --disable-dependency-tracking)
configure=(./configure) make=(make)
case $triplet in
*-emscripten)
    # Debian's emcc runs its optimiser under node, which looks for Debian's modules here.
    export NODE_PATH=/usr/share/nodejs
    options+=(--without-pthreads --disable-asm --disable-pie CFLAGS=-O3)
    configure=(emconfigure ./configure) make=(emmake make) ;;
esac
{
    ./autogen.sh -s
    "${configure[@]}" "${options[@]}"
    "${make[@]}" -j2
    "${make[@]}" install
} >>"$log" 2>&1
cd "$root"
rm -rf "$work"
echo "libsodium for $triplet: $prefix/lib/libsodium.a"
