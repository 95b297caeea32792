# Sourced by the scripts: installs the Debian packages they need when any is missing.
# As root it runs apt-get itself; otherwise it prints the command to run and stops.

# Root building in a tree another user owns would leave files that user can no longer replace.
if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %u .)" -ne 0 ]; then
    echo "This tree belongs to $(stat -c %U .): run this command as that user. Install the packages as root first;" >&2
    echo "README.md gives the apt-get command." >&2
    exit 1
fi

require_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Orbisk needs these Debian packages: ${missing[*]}." >&2
        echo "Install them, with the rest of what the build and the tests need, as root (su - where there is no sudo):" >&2
        echo "  apt-get install -y --no-install-recommends ${build_packages[*]} ${test_packages[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}" >&2
    apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What every build needs.
build_packages=(cmake ninja-build g++ qt6-base-dev fonts-dejavu-core)

# What the tests need beyond the build: display servers, platform themes, a screen reader's
# client on a private bus, the desktop-integration and packaging checks, the lint, and a real FAT
# file system for the settings storage.
test_packages=(clang libclang-rt-14-dev clang-tidy xvfb xauth x11-utils weston qt6-wayland qt6ct
    qt6-gtk-platformtheme dbus at-spi2-core python3-pyatspi desktop-file-utils appstream lintian dpkg-dev file
    fusefat dosfstools)
