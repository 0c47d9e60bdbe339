# Shared by the README's commands: install what is missing, then configure and build.
# Sourced, not run.

QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# help2man writes the man pages at build time; dpkg-dev and file let CPack compute the package's
# library dependencies. The private headers are for the tests, which queue input as the window
# system does; systemd's analyzer checks the service units' files. libmicrohttpd answers the
# exporter's scrapes. ccache lets a rebuild, and a checkout in another folder, reuse the objects
# of files that did not change.
QM_TOOLS=(cmake ninja-build ccache g++ help2man dpkg-dev file systemd pkg-config libmicrohttpd-dev)
QM_PACKAGES=("${QM_TOOLS[@]}" qtbase5-dev libqt5serialport5-dev libqt5charts5-dev qtbase5-private-dev)
# Qt 6 is installed only for the builds that ask for it (qm_qt6). Debian's Qt 6 charts need the
# OpenGL module's development files without depending on them.
QM_QT6_PACKAGES=("${QM_TOOLS[@]}" qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-serialport-dev
                 qt6-charts-dev libqt6opengl6-dev)

# From here on, qm_install_packages installs Qt 6 instead of Qt 5; configure such builds with
# -DQUADMETER_QT=6.
qm_qt6() {
    QM_PACKAGES=("${QM_QT6_PACKAGES[@]}")
}

# Installs the Debian packages that are not there yet; does nothing when all are.
qm_install_packages() {
    local missing=() p
    for p in "${QM_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# qm_build DIR BUILD_TYPE [cmake options...]: configures once, then builds incrementally.
qm_build() {
    local dir=$1 type=$2
    shift 2
    # ccache, where installed, lets checkouts in other folders reuse each other's objects.
    local launcher=()
    if command -v ccache >/dev/null; then
        export CCACHE_BASEDIR="$QM_ROOT" CCACHE_NOHASHDIR=1
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$QM_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${launcher[@]}" "$@"
    fi
    cmake --build "$dir" --parallel "$(nproc)"
}

# The exporter's tests run a Prometheus of their own; the package's service is not wanted. Where
# systemd runs, the service the package just enabled and started is disabled and stopped again.
qm_install_prometheus() {
    dpkg-query -W -f='${Status}' prometheus 2>/dev/null | grep -q 'install ok installed' && return 0
    qm_install_packages prometheus
    if [ -d /run/systemd/system ]; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo=sudo
        $sudo systemctl disable --now prometheus.service || true
    fi
}
