#!/usr/bin/env bash
# Qt for Windows, cross-built from Debian's own qtbase source with mingw-w64, as shared
# libraries (the window ships Qt's DLLs beside ostrel.exe), installed into a cache folder
# outside the checkout. A second run finds the folder and returns at once.
#
#   bash scripts/qt-windows.sh           build (or reuse) and print the prefix's path
#   bash scripts/qt-windows.sh --prefix  print the prefix's path only, build nothing
#
# OSTREL_QT_CACHE sets the cache folder (default /var/cache/ostrel-qt-windows). The prefix
# is named by Qt's version and a digest of the build options below, so a change of options
# builds a new prefix beside the old one.
#
# The first build takes about 27 minutes on a 2-core machine (1,199 steps); the source download
# is 46 MB and the prefix about 100 MB.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

qt_version=6.4.2
qt_package=qt6-base
cache=${OSTREL_QT_CACHE:-/var/cache/ostrel-qt-windows}

# Only what the window needs: Core, Gui, Widgets and Test, the windows, offscreen and minimal
# platform plugins and the Windows styles. OpenGL stays on (dynamic): 6.4.2's windows plugin
# does not compile without it. Debian's source drops the Wintab headers, so no tablet events.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_vulkan=OFF
  -DFEATURE_testlib=ON
)
digest=$(printf '%s\n' "$qt_version" "${options[@]}" | sha256sum | cut -c1-12)
prefix="$cache/qt-$qt_version-mingw64-$digest"

if [ "${1:-}" = "--prefix" ]; then echo "$prefix"; exit 0; fi
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

# mingw-w64, the host's Qt tools with their private CMake packages, dpkg-dev for apt-get source.
bash scripts/setup.sh --windows >&2
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$host_version" in
  "$qt_version"*) ;;
  *) echo "qt-windows: the host's Qt is $host_version, the cross build needs $qt_version" >&2; exit 1 ;;
esac

mkdir -p "$cache"
src="$cache/src"
if [ ! -f "$src/.fetched" ]; then
  # A private sources list with one deb-src line for the machine's own Debian mirror; the
  # system's apt setup is not touched.
  mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  [ -n "$mirror" ] || { echo "qt-windows: no Debian mirror found in the apt setup" >&2; exit 1; }
  rm -rf "$src"
  mkdir -p "$src/lists/partial"
  echo "deb-src $mirror bookworm main" >"$src/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$src/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$src/lists")
  echo "qt-windows: fetching $qt_package's source from $mirror" >&2
  apt-get "${apt_opts[@]}" update -qq >&2
  (cd "$src" && apt-get "${apt_opts[@]}" source --download-only "$qt_package" >&2)
  tarball=$(ls "$src"/${qt_package}_*.orig.tar.* | head -n 1)
  mkdir -p "$src/tree"
  tar -xf "$tarball" -C "$src/tree" --strip-components=1
  touch "$src/.fetched"
fi

# A toolchain of its own: Qt's DLLs link the mingw runtime as DLLs too.
build="$cache/build-$digest"
mkdir -p "$build"
cat >"$build/toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

start=$SECONDS
echo "qt-windows: configuring Qt $qt_version for mingw-w64 in $build" >&2
cmake -S "$src/tree" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$build/toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$build/configure.log" 2>&1 ||
  { tail -n 40 "$build/configure.log" >&2; exit 1; }
echo "qt-windows: building (about 30 minutes on 2 cores; log in $build/build.log)" >&2
nice cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 ||
  { grep -E 'error|FAILED' "$build/build.log" | head -n 30 >&2; exit 1; }
cmake --install "$build" >"$build/install.log" 2>&1 || { tail -n 20 "$build/install.log" >&2; exit 1; }
# The licence texts the DLLs are shipped under go with them.
mkdir -p "$prefix/licenses"
cp "$src/tree/LICENSES/LGPL-3.0-only.txt" "$src/tree/LICENSES/GPL-3.0-only.txt" "$prefix/licenses/"
echo "$qt_version ${options[*]}" >"$prefix/.complete"
echo "qt-windows: Qt $qt_version for Windows in $prefix, built in $(((SECONDS - start) / 60)) min" >&2
# The build folder is not needed once installed.
rm -rf "$build"
echo "$prefix"
