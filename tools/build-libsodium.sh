#!/bin/bash
# build-libsodium.sh TRIPLET: libsodium for the Windows programs, built from
# Debian's source package of the version installed for Linux (Debian's own
# patches applied), as a static library for TRIPLET (i686-w64-mingw32 or
# x86_64-w64-mingw32). Installs into build/sodium/TRIPLET/{include,lib};
# does nothing when build/sodium/TRIPLET/lib/libsodium.a is there.
set -euo pipefail
triplet=${1:?usage: build-libsodium.sh i686-w64-mingw32|x86_64-w64-mingw32}
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$root/build/sodium/$triplet
[ -f "$prefix/lib/libsodium.a" ] && exit 0

"$root/tools/install-deps.sh" windows sodium-source
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
# No stack protector: its run-time support is not in the mingw-w64 runtime
# the programs link.
{
    ./autogen.sh -s
    ./configure --host="$triplet" --prefix="$prefix" --disable-shared --enable-static \
        --disable-ssp --disable-dependency-tracking
    make -j2
    make install
} >>"$log" 2>&1
cd "$root"
rm -rf "$work"
echo "libsodium for $triplet: $prefix/lib/libsodium.a"
