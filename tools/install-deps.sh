#!/bin/sh
# install-deps.sh GROUP...: makes sure the Debian 12 packages of each group
# are installed. As root it installs the missing ones (after one apt-get
# update); otherwise it prints the exact command to run and fails.
set -eu

packages_of() {
    case "$1" in
    build) echo "cmake ninja-build g++ make python3 pkg-config qt6-base-dev qt6-translations-l10n libgl-dev \
                 googletest libgtest-dev fonts-noto-cjk" ;;
    display) echo "xvfb xauth x11-utils imagemagick" ;;
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

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi
echo "Installing:$missing"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
