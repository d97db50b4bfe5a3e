#!/bin/sh
# install-deps.sh GROUP...: makes sure the Debian 12 packages of each group
# are installed. As root it installs the missing ones (after one apt-get
# update); otherwise it prints the exact command to run and fails. The group
# windows brings i386-emulation too where the kernel runs no i386 code. The
# group sodium-source installs nothing: it makes apt's index list Debian's
# source packages too, from which tools/build-lib.sh builds libsodium, minizip
# and expat for Windows (and libsodium for the web page), and FreeXL for every
# build. The group web also installs the page tests' npm packages
# (tests/web/package-lock.json, npm ci). When another package manager holds
# apt's lock (a machine updating itself), it waits for it, up to ten minutes,
# and says so.
set -eu

packages_of() {
    case "$1" in
    build) echo "cmake ninja-build g++ make python3 pkg-config qt6-base-dev qt6-translations-l10n libgl-dev \
                 libxcb1-dev googletest libgtest-dev libminizip-dev libexpat1-dev libxml2-dev zlib1g-dev libbrotli-dev \
                 fonts-noto-cjk python3-xlsxwriter python3-openpyxl \
                 desktop-file-utils appstream dpkg-dev file xvfb openbox x11-utils autoconf automake libtool" ;;
    # wine32 runs natively where the machine runs i386 code, else under qemu
    # (i386-emulation, below); wine64 runs the 64-bit build. libsodium, minizip
    # and expat for them are built from their sources; zlib is Debian's mingw
    # package. osslsigncode and openssl: the test of varnholt-pack --sign.
    windows) echo "g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
                   wine wine32:i386 wine64 fonts-wine xvfb xauth autoconf automake libtool bc dpkg-dev \
                   libz-mingw-w64-dev osslsigncode openssl" ;;
    # The 32-bit Wine under qemu, with a library built by gcc -m32 (tools/wine-env.sh).
    i386-emulation) echo "qemu-user-static gcc-multilib" ;;
    # The web page: Emscripten (its libsodium built from source as for
    # Windows), the three browser engines its tests and benchmarks drive
    # (WebKitGTK's on a virtual display), and the web server a site's tests start.
    web) echo "emscripten nodejs binaryen autoconf automake libtool dpkg-dev \
               chromium chromium-driver webkit2gtk-driver firefox-esr xvfb python3-selenium python3-brotli fonts-noto-cjk \
               nginx-light libnginx-mod-http-brotli-static" ;;
    # npm, where the installed nodejs does not bring it.
    npm) echo "npm" ;;
    fuzz) echo "clang libclang-rt-14-dev" ;;
    memcheck) echo "valgrind libx11-dev xvfb xauth xdotool" ;;
    bench) echo "libbenchmark-dev libx11-dev time xvfb binutils-mingw-w64-i686 nginx-light libnginx-mod-http-brotli-static wrk" ;;
    screenshots) echo "xvfb xauth xdotool imagemagick" ;;
    # Regenerating the fixtures LibreOffice and Gnumeric write (make fixtures-xls, make
    # office-fixtures: the .xls, the number-format oracle, the .ods) only;
    # tests read the committed ones.
    fixtures) echo "libreoffice-calc gnumeric python3-xlsxwriter python3-openpyxl" ;;
    sodium-source) ;;
    *) echo "install-deps.sh: unknown group $1" >&2; exit 2 ;;
    esac
}

# apt-get, waiting while another package manager holds its lock.
apt_get() {
    waited=0
    while :; do
        if apt-get -o DPkg::Lock::Timeout=60 "$@" 2>"${TMPDIR:-/tmp}/install-deps.$$"; then
            rm -f "${TMPDIR:-/tmp}/install-deps.$$"
            return 0
        fi
        if ! grep -q "Could not get lock\|Unable to lock" "${TMPDIR:-/tmp}/install-deps.$$" || [ $waited -ge 600 ]; then
            cat "${TMPDIR:-/tmp}/install-deps.$$" >&2
            rm -f "${TMPDIR:-/tmp}/install-deps.$$"
            return 1
        fi
        [ $waited -eq 0 ] && echo "Another package manager holds apt's lock; waiting for it (at most ten minutes) ..." >&2
        sleep 10
        waited=$((waited + 10))
    done
}

# apt-get update, again after a while where a mirror is mid-sync (an index
# of the wrong size); still failing, it carries on with the index it has and
# installs the release's own versions ($release). With one index of the
# security suite missing (its i386 one, say), an amd64 library installed from
# that suite has no i386 twin of its version (Multi-Arch: same, so the same
# version on both), and apt gives up. The release's versions exist on both
# architectures: pinned above what is installed, they bring such a library
# back to the release's version, which its twin can follow.
release=""
updated=no
update() {
    [ $updated = yes ] && return 0
    updated=yes
    for try in 1 2 3; do
        apt_get update -qq && return 0
        [ $try -lt 3 ] && echo "apt-get update failed (try $try of 3); trying again in 20 s ..." >&2 && sleep 20
    done
    pin=${TMPDIR:-/tmp}/install-deps.pin.$$
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$(. /etc/os-release && echo "$VERSION_CODENAME")" >"$pin"
    trap 'rm -f "$pin"' EXIT
    release="-o Dir::Etc::Preferences=$pin --allow-downgrades"
    echo "apt-get update failed three times: installing the release's own versions from the index apt has" >&2
}

install() {  # install GROUP...
    wanted=""
    for group in "$@"; do
        wanted="$wanted $(packages_of "$group")"
    done

    # Debian 12 keeps its index in debian.sources; "deb-src" on its Types lines
    # adds the source packages. Once there, apt-cache knows libsodium's source.
    sources=/etc/apt/sources.list.d/debian.sources
    case " $* " in
    *" sodium-source "*)
        if ! apt-cache showsrc libsodium 2>/dev/null | grep -q '^Package:'; then
            if [ "$(id -u)" -ne 0 ]; then
                echo "Debian's source packages are not in apt's index. Add them with:" >&2
                echo "  sudo sed -i 's/^Types: deb\$/Types: deb deb-src/' $sources && sudo apt-get update" >&2
                exit 1
            fi
            echo "Adding Debian's source packages to apt's index"
            sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
            update
        fi ;;
    esac

    missing=""
    for package in $wanted; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        case "$status" in
        *" installed") ;;
        *) missing="$missing $package" ;;
        esac
    done
    [ -z "$missing" ] && return 0

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
    update
    DEBIAN_FRONTEND=noninteractive apt_get install -y -qq --no-install-recommends $release $missing
}

install "$@"
# Where the kernel runs no i386 code, the 32-bit Wine runs under qemu: once
# wine32 is installed, running its loader tells.
case " $* " in
*" windows "*) /usr/lib/wine/wine --version >/dev/null 2>&1 || install i386-emulation ;;
esac
# The page tests' npm packages, exactly as the lockfile pins them, again
# whenever the lockfile changes.
case " $* " in
*" web "*)
    command -v npm >/dev/null 2>&1 || install npm
    web_tests=$(cd "$(dirname "$0")/../tests/web" && pwd)
    if ! [ "$web_tests/node_modules/.package-lock.json" -nt "$web_tests/package-lock.json" ]; then
        echo "Installing the page tests' npm packages (npm ci)"
        (cd "$web_tests" && npm ci --no-audit --no-fund --loglevel=error)
    fi ;;
esac
