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
    [ "$apt_updated" = 1 ] || update_package_lists
    echo "installing:" $missing
    install_packages $missing
}

# apt-get update, tried three times a few seconds apart. A list that still
# cannot be read (a mirror in the middle of a sync) is named, and the install
# goes on with the lists apt has: what is missing is often in them.
update_package_lists() {
    local attempt errors
    apt_updated=1
    for attempt in 1 2 3; do
        errors=$(apt-get update -qq 2>&1 >/dev/null) && return 0
        [ "$attempt" = 3 ] || sleep 5
    done
    echo "apt-get update failed 3 times; going on with the package lists it has. Not read:" >&2
    unread_lists "$errors" >&2
}

# The lists that apt's E: and W: lines name, each with apt's reason.
unread_lists() {
    local line
    while IFS= read -r line; do
        if [[ $line =~ ^[EW]:\ Failed\ to\ fetch\ ([^ ]+)\ +(.*)$ ]]; then
            echo "  ${BASH_REMATCH[1]}"
            echo "    ${BASH_REMATCH[2]}"
        elif [[ $line =~ ^[EW]:\  && ! $line =~ ^[EW]:\ Some\ index\ files\ failed ]]; then
            echo "  ${line:3}"
        fi
    done <<<"$1"
}

# apt-get install, quiet when it works. An i386 library must have the very
# version of its installed amd64 twin, which the i386 lists may lack when one
# of them could not be read: then the install is tried once more with such
# versions asked for. When it still fails: apt's own error lines, the command
# to run, and a stop that names the packages.
install_packages() {
    local pins=() errors
    errors=$(apt_install "$@") && return 0
    if [[ " $* " == *":i386 "* ]]; then
        echo "the install failed; asking apt which i386 libraries must match their amd64 twins"
        mapfile -t pins < <(i386_twin_versions "$@")
    fi
    if [ ${#pins[@]} -gt 0 ]; then
        echo "trying again with the versions of the amd64 twins:" "${pins[@]}"
        errors=$(apt_install "$@" "${pins[@]}") && return 0
    fi
    {
        echo "$errors"
        apt-get install -s -q --no-install-recommends "$@" "${pins[@]}" 2>/dev/null |
            sed -n '/unmet dependencies:/,$p' || true
        unmatched_twins "$@" "${pins[@]}"
        echo "Could not install:" "$@"
        echo "To see apt's whole answer, run as root:"
        echo "  apt-get install --no-install-recommends" "$@" "${pins[@]}"
    } >&2
    exit 1
}

# apt's errors on stderr when it fails; dpkg's progress is dropped.
apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" 2>&1 >/dev/null
}

# The i386 packages that apt cannot place for "$@", from its dry run, one
# "name:i386=version" a line where the i386 lists offer the installed amd64
# version. Pinning one may show the next, so the dry run is repeated.
i386_twin_versions() {
    local pins=() before name version round
    for round in 1 2 3 4 5 6; do
        before=${#pins[@]}
        for name in $(i386_names_in_problems "$@" "${pins[@]}"); do
            version=$(amd64_version "$name")
            [[ " ${pins[*]} " == *" $name:i386="* ]] && continue
            i386_offers "$name" "$version" && pins+=("$name:i386=$version")
        done
        [ ${#pins[@]} = "$before" ] && break
    done
    [ ${#pins[@]} = 0 ] || printf '%s\n' "${pins[@]}"
}

# The names of the i386 packages in apt's list of unmet dependencies.
i386_names_in_problems() {
    apt-get install -s -q --no-install-recommends "$@" 2>/dev/null |
        sed -n '/unmet dependencies:/,$p' | grep -o '[a-z0-9][a-z0-9.+-]*:i386' | sed 's/:i386$//' | sort -u || true
}

# Says which i386 libraries to install first: those whose installed amd64
# twin has a version that the i386 lists do not offer. "$@" holds the versions
# already asked for, so that apt's dry run shows the libraries one level down.
# A downgrade is never offered as a command: it may remove half the system.
unmatched_twins() {
    local name version offered removed
    for name in $(i386_names_in_problems "$@"); do
        version=$(amd64_version "$name")
        if [ -z "$version" ] || i386_offers "$name" "$version"; then
            continue
        fi
        echo "$name:i386 must have the version of the installed $name ($version), which the i386 lists lack."
        offered=$(apt-cache policy "$name:i386" | sed -n 's/^ *Candidate: //p')
        [ -n "$offered" ] && [ "$offered" != "(none)" ] || continue
        if dpkg --compare-versions "$offered" lt "$version"; then
            removed=$(apt-get install -s -q --no-install-recommends --allow-downgrades "$name=$offered" \
                "$name:i386=$offered" 2>/dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p' | tr '\n' ' ' || true)
            echo "  The i386 lists offer only the older $offered: matching it would downgrade $name${removed:+ and remove: ${removed% }}."
            echo "  Rather wait until the lists offer $version again, then run this again."
        else
            echo "  Install both at the version they offer first, then run this again:"
            echo "  apt-get install --no-install-recommends $name=$offered $name:i386=$offered"
        fi
    done
}

# The version of the installed amd64 package $1, or nothing.
amd64_version() {
    dpkg-query -W -f='${Status}|${Version}' "$1:amd64" 2>/dev/null | sed -n 's/^install ok installed|//p' || true
}

# True when the i386 lists offer package $1 in version $2.
i386_offers() {
    [ -n "$2" ] && apt-cache madison "$1:i386" | awk -F '|' -v v="$2" '{ gsub(/ /, "", $2) } $2 == v { found = 1 } END { exit !found }'
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
