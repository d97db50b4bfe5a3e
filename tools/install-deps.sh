#!/bin/sh
# install-deps.sh GROUP...: makes sure the Debian 12 packages of each group
# are installed. As root it installs the missing ones (after one apt-get
# update); otherwise it prints the exact command to run and fails.
set -eu

packages_of() {
    case "$1" in
    build) echo "cmake ninja-build g++ make python3 pkg-config qt6-base-dev qt6-translations-l10n libgl-dev \
                 googletest libgtest-dev fonts-noto-cjk \
                 desktop-file-utils appstream dpkg-dev file" ;;
    # wine32 runs only where the machine runs i386 code; wine64 runs the
    # 64-bit build everywhere.
    windows) echo "g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
                   wine wine32:i386 wine64 fonts-wine xvfb xauth" ;;
    fuzz) echo "clang libclang-rt-14-dev" ;;
    memcheck) echo "valgrind libx11-dev xvfb xauth xdotool" ;;
    bench) echo "libbenchmark-dev libx11-dev xvfb binutils-mingw-w64-i686" ;;
    screenshots) echo "xvfb xauth xdotool imagemagick" ;;
    *) echo "install-deps.sh: unknown group $1" >&2; exit 2 ;;
    esac
}

wanted=""
for group in "$@"; do
    wanted="$wanted $(packages_of "$group")"
done

missing=""
for package in $wanted; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
    *" installed") ;;
    *) missing="$missing $package" ;;
    esac
done
[ -z "$missing" ] && exit 0

# wine32 comes from the i386 architecture.
case "$missing" in
*:i386*) need_i386=yes ;;
*) need_i386=no ;;
esac

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    [ "$need_i386" = yes ] && echo "  sudo dpkg --add-architecture i386" >&2
    echo "  sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi
echo "Installing:$missing"
if [ "$need_i386" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
