# Shared by scripts/demo and scripts/test: Debian packages, configure, build.
# shellcheck shell=bash

BRIMO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BRIMO_BUILD=${BRIMO_BUILD:-$BRIMO_ROOT/build}

# What a fresh Debian 12 machine lacks to build, test and demonstrate the utility
# (dbus-daemon: every test runs on a session bus of its own, dbus-run-session).
BRIMO_PACKAGES=(
    cmake ninja-build g++ pkg-config python3
    qt6-base-dev qt6-serialport-dev libgl-dev
    xvfb xauth fonts-dejavu-core curl time dbus-daemon
)
# What scripts/test-windows needs beside them: the MinGW-w64 compiler, the host
# tools of Debian's Qt (moc, rcc, uic, matching the Qt for MinGW-w64), NSIS,
# osslsigncode and openssl to sign (with a certificate made for the run) and
# check the signatures, 64-bit Wine with its fonts, xwininfo, xprop and
# ImageMagick to find and picture the utility's window on the virtual display,
# wrestool and icotool to read the programs' resources, xmllint for the
# manifest, and git for the previous release.
BRIMO_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix qt6-base-dev-tools nsis osslsigncode openssl wine wine64
    fonts-wine x11-utils imagemagick icoutils libxml2-utils git
)
# What scripts/windows-pictures needs beside those: xdotool to click through
# the installer and the file manager.
BRIMO_PICTURE_PACKAGES=(xdotool)

brimo_missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || echo "$pkg"
    done
}

# Installs what is missing when run as root; otherwise prints the one line to run.
brimo_ensure_packages() {
    local missing
    missing=$(brimo_missing_packages "$@" | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: $missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing
    else
        echo "Missing Debian packages. Install them with:"
        echo "  sudo apt-get install -y $missing"
        exit 1
    fi
}

brimo_configure() {
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    if [ ! -f "$BRIMO_BUILD/CMakeCache.txt" ]; then
        cmake -S "$BRIMO_ROOT" -B "$BRIMO_BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
}

brimo_build() {
    brimo_configure "$@"
    cmake --build "$BRIMO_BUILD" --parallel "$(nproc)"
}
