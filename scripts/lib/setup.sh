#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, once; later runs only check.
# Sourced by the top-level scripts: defines ensure_packages and ensure_i386_wine.

apt_updated=0

# Prints the packages of "$@" that are not installed.
missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

ensure_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages. As root, run:" >&2
        echo "  apt-get update && apt-get install -y --no-install-recommends" $missing >&2
        exit 1
    fi
    if [ "$apt_updated" = 0 ]; then
        apt-get update -qq >/dev/null
        apt_updated=1
    fi
    echo "installing:" $missing
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# This kernel cannot run 32-bit x86 code natively, so 32-bit Wine runs under
# qemu's user-mode emulation, registered through binfmt_misc.
ensure_i386_wine() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        if [ "$(id -u)" != 0 ]; then
            echo "As root, run: dpkg --add-architecture i386 && apt-get update" >&2
            exit 1
        fi
        dpkg --add-architecture i386
        apt_updated=0
    fi
    ensure_packages qemu-user wine32:i386 wine32-preloader:i386
    ensure_binfmt_i386
}

ensure_binfmt_i386() {
    local dir=/proc/sys/fs/binfmt_misc
    if [ ! -e "$dir/register" ]; then
        [ "$(id -u)" = 0 ] || { echo "As root, run: mount -t binfmt_misc binfmt_misc $dir" >&2; exit 1; }
        mount -t binfmt_misc binfmt_misc "$dir"
    fi
    [ -e "$dir/qemu-i386" ] && return 0
    # F: the interpreter is opened now, so it also works inside other mount namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > "$dir/register"
}

# The field lookup is tested under a locale whose upper case of "i" is not "I".
ensure_turkish_locale() {
    locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' && return 0
    [ "$(id -u)" = 0 ] || { echo "As root, run: localedef -i tr_TR -f UTF-8 tr_TR.UTF-8" >&2; exit 1; }
    ensure_packages locales
    localedef -i tr_TR -f UTF-8 tr_TR.UTF-8
}

# Everything the build, the Windows tests, the dialog tests and the installer packages use.
ensure_toolchain() {
    ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
        g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev \
        wine wine64 xvfb xdotool x11-utils imagemagick fonts-wine zip unzip libbenchmark-dev wixl msitools \
        osslsigncode faketime
    ensure_i386_wine
    ensure_turkish_locale
}
