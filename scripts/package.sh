#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [OUTPUT_DIR]
# Leaves dist/ostrel_<version>_amd64.deb (or OUTPUT_DIR/...), then checks it
# with lintian, appstreamcli and desktop-file-validate (warnings are shown,
# errors fail). What goes where is decided by the CMake install rules alone.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib/install.sh
source scripts/lib/install.sh
out=$(realpath -m "${1:-dist}")

# The build's own packages, then the tools only packaging uses.
bash scripts/setup.sh
TOOLS=(librsvg2-bin lintian appstream desktop-file-utils dpkg-dev file)
install_packages package "${TOOLS[@]}"

build=build-package
# Debian's hardening flags (fortified functions, read-only relocations).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF -DOSTREL_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" --log-level=WARNING
cmake --build "$build" -j "$(nproc)"
rm -rf "$out/.cpack"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out/.cpack" >/dev/null)
deb=$(find "$out/.cpack" -maxdepth 1 -name 'ostrel_*.deb' | head -n1)
[ -n "$deb" ] || { echo "package: cpack made no package" >&2; exit 1; }
mv -f "$deb" "$out/"
rm -rf "$out/.cpack"
deb="$out/$(basename "$deb")"

# The checks of what the package holds.
status=0
echo "== lintian"
lintian --tag-display-limit 0 "$deb" 2>&1 | tee "$out/lintian.txt" | grep -v "^running with root" || true
if grep -q '^E:' "$out/lintian.txt"; then echo "package: lintian reports errors" >&2; status=1; fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dpkg-deb -x "$deb" "$stage"
echo "== appstreamcli validate"
appstreamcli validate --pedantic --no-net --explain "$stage"/usr/share/metainfo/*.metainfo.xml || status=1
echo "== desktop-file-validate"
desktop-file-validate "$stage"/usr/share/applications/*.desktop || status=1
echo "package: $deb"
exit $status
