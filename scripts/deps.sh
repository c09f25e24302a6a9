# Sourced by the scripts in this folder: installs the Debian packages that are
# missing. As root it runs apt-get; otherwise it prints the line to run and stops.

# What the tests run besides the programs built here: pdftoppm renders the
# rendered PDFs back to pixels; each capture service test runs its own
# dbus-daemon.
VELLUMIX_TEST_PACKAGES=(poppler-utils dbus-daemon)
VELLUMIX_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev
    libbenchmark-dev qt6-base-dev qt6-qpa-plugins libhidapi-dev fonts-liberation
    hershey-fonts-data libexpat1-dev libcairo2-dev libsdbus-c++-dev libudev-dev
    "${VELLUMIX_TEST_PACKAGES[@]}")
VELLUMIX_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
VELLUMIX_DEMO_PACKAGES=(xvfb xauth xdotool imagemagick)
# The Debian package's build (dpkg-shlibdeps) and its checks (readelf from
# binutils looks for the hardening in the programs).
VELLUMIX_PACKAGE_PACKAGES=(dpkg-dev file binutils lintian desktop-file-utils appstream)

vellumix_missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$' \
            || echo "$pkg"
    done
}

vellumix_ensure_packages() {
    local missing
    missing=$(vellumix_missing_packages "$@" | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends $missing" >&2
        exit 1
    fi
    echo "Installing: $missing"
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}
