# Shared by scripts/demo and scripts/test: Debian packages, configure, build.
# shellcheck shell=bash

BRIMO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BRIMO_BUILD=${BRIMO_BUILD:-$BRIMO_ROOT/build}

# What a fresh Debian 12 machine lacks to build, test and demonstrate the utility.
BRIMO_PACKAGES=(
    cmake ninja-build g++ pkg-config python3
    qt6-base-dev qt6-serialport-dev qt6-httpserver-dev qt6-websockets-dev libgl-dev
    tinyproxy-bin xvfb xauth fonts-dejavu-core curl time
)

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

brimo_build() {
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    if [ ! -f "$BRIMO_BUILD/CMakeCache.txt" ]; then
        cmake -S "$BRIMO_ROOT" -B "$BRIMO_BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$BRIMO_BUILD" --parallel "$(nproc)"
}
