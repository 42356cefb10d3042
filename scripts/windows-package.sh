#!/usr/bin/env bash
# Ostrel for Windows as users get it, from a Windows build (scripts/windows.sh --build):
#   build-win/stage/Ostrel/                  the program's folder: ostrel.exe, ostrel-cli.exe,
#                                            Qt's and the runtime's DLLs, the plugins, the
#                                            manual, the licence texts and an empty "files"
#   build-win/ostrel-<version>-windows.zip   that folder, to unzip anywhere (settings beside
#                                            the executable)
#   build-win/ostrel-<version>-setup.exe     the installer (NSIS): Program Files, Start menu,
#                                            uninstaller; settings in %APPDATA%\Ostrel
#
#   bash scripts/windows-package.sh QT_PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
qt=${1:?usage: windows-package.sh QT_PREFIX}
build=$root/build-win
version=$(sed -n 's/^project(Ostrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
runtime_dirs=(/usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)

stage=$build/stage/Ostrel
rm -rf "$build/stage"
mkdir -p "$stage"/{platforms,styles,manual,licences,files,schemas}

cp "$build/app/ostrel.exe" "$build/cli/ostrel-cli.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Every DLL the executables and plugins import, found in Qt's bin folder or the mingw
# runtime's, and theirs in turn; the system's own DLLs are not shipped.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p'; }
find_dll() {
  local d
  for d in "$qt/bin" "${runtime_dirs[@]}"; do
    [ -f "$d/$1" ] && { echo "$d/$1"; return 0; }
  done
  return 1
}
pending=("$stage/ostrel.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
while [ "${#pending[@]}" -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(imports "$file"); do
    [ -f "$stage/$dll" ] && continue
    if path=$(find_dll "$dll"); then
      cp "$path" "$stage/"
      pending+=("$stage/$dll")
    fi
  done
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.dll "$stage"/platforms/*.dll "$stage"/styles/*.dll

cp docs/manual/index.html "$stage/manual/"
cp cli/schemas/*.schema.json "$stage/schemas/"  # the JSON Schemas of ostrel-cli's records
cp LICENSE "$stage/licences/Ostrel.txt"
cp "$qt/licenses/LGPL-3.0-only.txt" "$stage/licences/Qt-LGPL-3.0.txt"
cp "$qt/licenses/GPL-3.0-only.txt" "$stage/licences/Qt-GPL-3.0.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licences/mingw-w64-runtime.txt"
cat >"$stage/licences/README.txt" <<TEXT
Ostrel $version is distributed under the terms in Ostrel.txt.

It uses Qt $(basename "$qt" | cut -d- -f2) (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the plugins in
platforms\\ and styles\\) under the GNU Lesser General Public License version 3
(Qt-LGPL-3.0.txt, which builds on Qt-GPL-3.0.txt). Qt was built unmodified from Debian's
qt6-base source package; you may replace these DLLs with your own build of the same Qt
version. The GCC and mingw-w64 runtime DLLs (libstdc++-6.dll, libgcc_s_seh-1.dll,
libwinpthread-1.dll) come with their own terms, in GCC-runtime.txt and mingw-w64-runtime.txt.
TEXT
# Windows' own tools read CR LF.
for f in "$stage"/licences/*.txt; do sed -i 's/\r*$/\r/' "$f"; done

zip=$build/ostrel-$version-windows.zip
rm -f "$zip"
(cd "$build/stage" && python3 -m zipfile -c "$zip" Ostrel)

# The uninstaller removes exactly the files the installer put there.
list=$build/stage/uninstall-files.nsh
: >"$list"
(cd "$stage" && find . -type f | sort | sed 's|^\./||; s|/|\\|g') | while read -r f; do
  echo "Delete \"\$INSTDIR\\$f\"" >>"$list"
done
(cd "$stage" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g') | while read -r d; do
  echo "RMDir \"\$INSTDIR\\$d\"" >>"$list"
done
setup=$build/ostrel-$version-setup.exe
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" -DICON="$root/packaging/windows/ostrel.ico" \
  -DFILE_LIST="$list" -DSIZE_KB="$size_kb" packaging/windows/ostrel.nsi >"$build/stage/makensis.log" ||
  { cat "$build/stage/makensis.log"; exit 1; }

echo "windows: $(basename "$zip") $(stat -c %s "$zip") bytes, $(basename "$setup") $(stat -c %s "$setup") bytes"
echo "windows: DLLs shipped: $(cd "$stage" && find . -name '*.dll' | sed 's|^\./||' | sort | tr '\n' ' ')"
