#!/usr/bin/env bash
# metadata_test.sh GENERATED_DIR SOURCE_DIR VERSION CLI_GENERATED_DIR
# The desktop entries, the AppStream metadata and the manual pages pass their
# validators, and every one of them carries the project's version.
set -uo pipefail
gen=$1 src=$2 version=$3 cligen=$4
status=0
fail() { echo "FAIL: $*"; status=1; }

for d in "$src"/ostrel.desktop "$src"/ostrel-demo.desktop; do
  out=$(desktop-file-validate "$d" 2>&1) || fail "desktop-file-validate $d"
  [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate reports on $d"; }
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$d")
  case $exe in ostrel | ostrel-demo) ;; *) fail "$d starts '$exe', not an installed command" ;; esac
done

meta=$(ls "$gen"/*.metainfo.xml)
appstreamcli validate --no-net --pedantic "$meta" || fail "appstreamcli validate $meta"
grep -q "<release version=\"$version\"" "$meta" || fail "the metadata's release is not $version"
grep -q '<screenshot type="default">' "$meta" || fail "the metadata has no default screenshot"

for m in "$gen/ostrel.1" "$gen/ostrel-demo.1" "$cligen/ostrel-cli.1"; do
  head -n1 "$m" | grep -q "\"Ostrel $version\"" || fail "$m does not carry version $version"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$m" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; fail "$m renders with warnings"; }
  [ "$(gzip -dc "$m.gz" | md5sum)" = "$(md5sum <"$m")" ] || fail "$m.gz is stale"
done
for section in "THE PROGRAM'S FOLDER" "DEVICE MAP" "PERMISSIONS" "ENVIRONMENT" "FILES"; do
  grep -q "^\.SH $section" "$gen/ostrel.1" || fail "ostrel.1 has no section $section"
done
grep -q "/dev/serial/by\\\\-id/" "$gen/ostrel.1" || fail "ostrel.1 has no /dev/serial/by-id example"
grep -q "dialout" "$gen/ostrel.1" || fail "ostrel.1 does not name the dialout group"

head -n1 "$gen/changelog" | grep -q "^ostrel ($version) " || fail "the changelog's newest entry is not $version"
grep -q "^ -- .* [A-Z][a-z][a-z], [0-9][0-9] [A-Z][a-z][a-z] [0-9]\{4\} " "$gen/changelog" ||
  fail "the changelog's trailer has no date"
head -n1 "$gen/copyright" | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
  fail "the copyright file is not machine-readable"
grep -q "^License: " "$gen/copyright" || fail "the copyright file names no licence"
sh -n "$gen/ostrel-demo" || fail "ostrel-demo does not parse"
exit $status
