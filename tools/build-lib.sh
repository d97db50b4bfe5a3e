#!/bin/bash
# build-lib.sh LIBRARY TRIPLET: a library the programs or the web page link,
# built from Debian's source package (Debian's own patches applied, then this
# project's, tools/patches/PACKAGE-*.patch) as a static library for TRIPLET
# (i686-w64-mingw32, x86_64-w64-mingw32, or wasm32-unknown-emscripten for
# libsodium; for libsodium and FreeXL also native, this machine's own, which
# every Linux build links; for FreeXL also fuzz, native but built with the
# fuzzers' instrumentation, which the fuzz build links):
#   sodium   libsodium, for the sealed records (the programs, the packer, the page)
#   minizip  zlib's minizip, to open workbooks (the packer only; zlib itself
#            is Debian's libz-mingw-w64-dev)
#   expat    expat, to read the workbook's XML (the packer only)
#   freexl   FreeXL, to read Excel 97-2003 workbooks (the packer only), with
#            the bounds checks of tools/patches/; on Windows over
#   xml2     libxml2, to read web pages saved as spreadsheets (the packer
#            only; Windows builds only: Linux links Debian's libxml2-dev):
#            its HTML parser alone, no iconv (the reader turns GB2312, GBK and
#            GB18030 pages into UTF-8 itself), no zlib, no lzma, no network
#   brotli   brotli's encoder and decoder, for the pages' and sites' .br twins
#            (the packer only; Windows builds only: Linux links Debian's
#            libbrotli-dev)
#   iconv    the packer's own iconv on the Win32 code pages (tools/iconv/:
#            Debian 12 has no iconv for mingw-w64)
# Installs into build/LIBRARY/TRIPLET/{include,lib}; does nothing when its
# static library is there, built with the patches there are now.
set -euo pipefail
usage="usage: build-lib.sh sodium|minizip|expat|freexl|xml2|brotli|iconv i686-w64-mingw32|x86_64-w64-mingw32|wasm32-unknown-emscripten|native"
library=${1:?$usage}
triplet=${2:?$usage}
variant=""
[ "$triplet" = fuzz ] && variant=-fuzz triplet=native
[ "$triplet" = native ] && triplet=$(gcc -dumpmachine)
native=no
[ "$triplet" = "$(gcc -dumpmachine)" ] && native=yes
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$root/build/$library/$triplet$variant

# Per library: the source package, the version installed for Linux (tried
# first), the folder to build in, how to make its configure script, and
# configure's own options.
case "$library" in
sodium)
    package=libsodium installed=libsodium-dev folder=. bootstrap="./autogen.sh -s" lib=sodium
    # No stack protector: its run-time support is not in the mingw-w64 runtime.
    options="--disable-ssp" ;;
minizip)
    package=minizip installed=libminizip-dev folder=. bootstrap="autoreconf -fi" options="" lib=minizip ;;
expat)
    package=expat installed=libexpat1-dev folder=expat bootstrap="./buildconf.sh" lib=expat
    options="--without-docbook --without-examples --without-tests --without-xmlwf" ;;
freexl)
    package=freexl installed=libfreexl-dev folder=. bootstrap="autoreconf -fi" lib=freexl options=""
    if [ $native = no ]; then
        "$0" iconv "$triplet"
        iconv=$root/build/iconv/$triplet
        options="CPPFLAGS=-I$iconv/include LDFLAGS=-L$iconv/lib"
    fi ;;
xml2)
    package=libxml2 installed=libxml2-dev folder=. bootstrap="autoreconf -fi" lib=xml2
    options="--without-python --without-lzma --without-zlib --without-iconv --without-icu --without-http
             --without-ftp --without-modules --without-threads --without-catalog --without-debug
             --without-readline --without-history --without-legacy" ;;
brotli)
    # SSE2 arithmetic on 32-bit x86 too, not the x87's longer doubles: the
    # encoder chooses by floating-point costs, and the same bytes must give
    # the same twin on every platform.
    package=brotli installed=libbrotli-dev folder=. bootstrap="./bootstrap" lib=brotlienc options=""
    case $triplet in i686-*) cflags_of_library="-O2 -msse2 -mfpmath=sse" ;; esac ;;
iconv)
    [ -f "$prefix/lib/libiconv.a" ] && exit 0
    mkdir -p "$prefix/include" "$prefix/lib"
    cp "$root/tools/iconv/iconv.h" "$root/tools/iconv/localcharset.h" "$prefix/include/"
    "$triplet-gcc" -O2 -c "$root/tools/iconv/iconv.c" -o "$prefix/lib/iconv.o"
    "$triplet-ar" rcs "$prefix/lib/libiconv.a" "$prefix/lib/iconv.o"
    rm "$prefix/lib/iconv.o"
    exit 0 ;;
*)
    echo "build-lib.sh: unknown library $library" >&2; exit 2 ;;
esac
# A build made before a patch was added or changed is made again.
patches=("$root"/tools/patches/"$package"-*.patch)
[ -f "${patches[0]}" ] || patches=()
stamp=$prefix/patches.sha256
patched=""
[ ${#patches[@]} -eq 0 ] || patched=$(cat "${patches[@]}" | sha256sum)
[ -f "$prefix/lib/lib$lib.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$patched" ] && exit 0
rm -rf "$prefix"

# A cross build throughout: configure then runs none of its test programs
# (Emscripten's would need a node whose fetch takes paths). Natively, a
# static library that goes into position-independent programs.
configure=(./configure --host="$triplet") make=(make) group=windows cflags=()
[ -n "${cflags_of_library:-}" ] && cflags=("CFLAGS=$cflags_of_library")
case $triplet in
*-emscripten)
    # The flags of libsodium's own dist-build/emscripten.sh: Emscripten's
    # wrappers pick the compiler, no assembly, no threads, no stack protector;
    # optimised for speed, as the key derivation is the page's one long
    # computation. Debian's emcc runs its optimiser under node, which looks
    # for Debian's modules in NODE_PATH.
    export NODE_PATH=/usr/share/nodejs
    options="$options --without-pthreads --disable-asm --disable-pie"
    cflags=(CFLAGS=-O3)
    configure=(emconfigure ./configure --host="$triplet") make=(emmake make) group=web ;;
esac
if [ $native = yes ]; then
    configure=(./configure) group=build
    options="$options --with-pic"
fi
# The fuzz build's: clang with the coverage and sanitizers the fuzzers use,
# so that the fuzzer sees inside the library.
if [ -n "$variant" ]; then
    cflags=(CC=clang "CFLAGS=-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined")
    group=fuzz
fi
"$root/tools/install-deps.sh" $group sodium-source

# Each library and triplet in a folder of its own: builds may run side by side.
work=$root/build/$library/$triplet$variant.work
rm -rf "$work"
mkdir -p "$work"
cd "$work"
log=$work/build.log
trap '[ $? -eq 0 ] || { tail -n 30 "$log" >&2; echo "build-lib.sh: failed, see $log" >&2; }' EXIT
# The version installed for Linux where its source is still served (a
# security update's source may not be), else the newest source apt knows.
# apt checks the files against the signed index; dpkg-source then applies
# Debian's patches without looking for a keyring.
versions="$(dpkg-query -W -f='${Version}' "$installed" 2>/dev/null) $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV)"
for version in $versions; do
    apt-get source --only-source --download-only -qq "$package=$version" >"$log" 2>&1 && break
    version=""
done
[ -n "$version" ] || { echo "build-lib.sh: no source of $package could be fetched" >&2; exit 1; }
echo "Building $package $version for $triplet (log: $log)"
dpkg-source --no-check -x "${package}"_*.dsc source >>"$log" 2>&1
for patch in "${patches[@]}"; do
    echo "Applying $(basename "$patch")"
    patch -d source -p1 --forward <"$patch" >>"$log" 2>&1
done
cd "source/$folder"
{
    $bootstrap
    # shellcheck disable=SC2086  # the options are words
    "${configure[@]}" --prefix="$prefix" --disable-shared --enable-static \
        --disable-dependency-tracking $options "${cflags[@]}"
    "${make[@]}" -j2
    "${make[@]}" install
} >>"$log" 2>&1
echo "$patched" >"$stamp"
cd "$root"
rm -rf "$work"
echo "$package for $triplet: $prefix/lib/lib$lib.a"
