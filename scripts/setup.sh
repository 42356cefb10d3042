#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the run command
# use. Idempotent: packages already present are left alone.
#
#   bash scripts/setup.sh          what the README's two commands need
#   bash scripts/setup.sh --ci     that, plus what CI's own stages need (sanitizer and fuzz
#                                  builds with clang, the fresh-machine check)
#   bash scripts/setup.sh --windows   that, plus the Windows cross-build (Qt for Windows from
#                                  Debian's source, the installer) and wine to run its tests
#                                  (scripts/windows.sh); flags combine
#
# Packages are installed with --no-install-recommends, so anything a package only recommends
# but we use is named here (python3-serial-asyncio: pymodbus' serial server needs it).
set -euo pipefail
# shellcheck source=scripts/lib/install.sh
source "$(dirname "$0")/lib/install.sh"

PACKAGES=(
  # build
  build-essential cmake ninja-build qt6-base-dev
  # ostrel-monitor's MQTT client (pkg-config finds it)
  libmosquitto-dev
  # tests and benchmarks (the benchmarks are plain programs over the same libraries)
  libgtest-dev libgmock-dev
  python3 python3-pymodbus python3-serial python3-serial-asyncio socat
  # network ports: a serial device server (RFC 2217 and raw TCP) in front of a pseudo-terminal
  ser2net
  # ostrel-monitor's tests: a real broker and its clients, TLS certificates made with openssl,
  # and systemd-analyze for the unit
  mosquitto mosquitto-clients openssl systemd
  # the JSON that ostrel-cli writes is checked against its schemas
  python3-jsonschema
  # tests of the installed files: metadata validators, man pages, processes left behind
  appstream desktop-file-utils man-db procps
  # the window's font under the offscreen platform and on a bare X server
  fonts-dejavu-core
  # the caption test reads the title from a private X server
  xvfb pkg-config libxcb1-dev
)
CI_PACKAGES=(
  # AddressSanitizer/ThreadSanitizer builds, libFuzzer targets; the format check
  clang libclang-rt-14-dev clang-format
  # the fresh-machine check: a Debian root (its X server for the run command is xvfb above)
  mmdebstrap
  # the ASan program's window on an X server (xvfb-run needs xauth)
  xauth
)

WINDOWS_PACKAGES=(
  # mingw-w64 with the posix thread model (std::thread, std::mutex); GoogleTest's sources to
  # build it for Windows; wine runs the tests (wine64: the 64-bit loader)
  g++-mingw-w64-x86-64-posix googletest wine wine64
  # wine's own Tahoma, the face behind Windows' dialog font (wine only recommends it)
  fonts-wine
  # Qt for Windows from Debian's qtbase source (scripts/qt-windows.sh): apt-get source needs
  # dpkg-dev, the tarball xz-utils, and the cross build takes the host's Qt tools and their
  # private CMake packages
  dpkg-dev xz-utils qt6-base-private-dev
  # the installer (makensis)
  nsis
)

for flag in "$@"; do
  case "$flag" in
    --ci) PACKAGES+=("${CI_PACKAGES[@]}") ;;
    --windows) PACKAGES+=("${WINDOWS_PACKAGES[@]}") ;;
    *) echo "setup: unknown option $flag (--ci, --windows)" >&2; exit 2 ;;
  esac
done

install_packages setup "${PACKAGES[@]}"
